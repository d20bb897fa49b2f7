#pragma once

#include <sys/resource.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <functional>
#include <memory>

#include "app/Program.h"
#include "link/MessageBox.h"
#include "support/Harness.h"
#include "ui/MainWindow.h"

namespace quorvel::testing {

// Runs the event loop, looking every 5 ms, until `done` or `ms` have passed.
inline bool WaitFor(const std::function<bool()>& done, int ms = 8000) {
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (done() || clock.elapsed() >= ms) loop.quit();
    });
    look.start(5);
    if (!done()) loop.exec();
    return done();
}

inline double CpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

class RecordingMessages : public MessageBox {
  public:
    std::vector<std::string> shown;
    void Show(const std::string& title, const std::string& text) override {
        shown.push_back(title + "|" + text);
    }
};

// Form1 itself: the real window, its wiring and start-up, with the port and settings in memory.
class WindowFront : public Front {
  public:
    WindowFront() {
        ProgramParts parts;
        parts.port = &port;
        parts.settings = &settings;
        parts.messages = &messages;
        parts.portsFolder = dir.path().toStdString();
        program = std::make_unique<Program>(parts);
        program->Form_Load();
        QObject::connect(Child<QTextEdit>("Text_Error_1"), &QTextEdit::textChanged,
                         [this] { seen.push_back(Window().StatusText()); });
    }

    template <typename T>
    T* Child(const char* name) {
        return Window().findChild<T*>(QString::fromLatin1(name));
    }
    MainWindow& Window() { return program->Window(); }

    RunState& State() override { return program->State(); }
    FakeSerialPort& Port() override { return port; }
    void Click() override { Child<QPushButton>("Cmd_Start_1")->click(); }
    bool On(TimerId timer) override { return Window().TimerEnabled(timer); }
    void Tick(TimerId timer) override {
        if (On(timer)) Window().onTimerTick(timer);
    }
    void PortEvent(std::int16_t kind) override { program->HandlePortEvent(kind); }
    std::string Status() override { return Window().StatusText(); }
    Colour StatusColour() override {
        const QColor shown = Child<QTextEdit>("Text_Error_1")->palette().color(QPalette::Base);
        for (Colour c : {Colour::Red, Colour::Green, Colour::Grey, Colour::ButtonFace})
            if (MainWindow::ToQColor(c) == shown) return c;
        return Colour::WindowColour;
    }
    std::string Label() override { return Child<QLabel>("Label1")->text().toStdString(); }
    const std::vector<std::string>& Seen() override { return seen; }

    FakeSerialPort port;
    FakeSettings settings;
    RecordingMessages messages;
    QTemporaryDir dir;
    std::vector<std::string> seen;
    std::unique_ptr<Program> program;
};

}  // namespace quorvel::testing
