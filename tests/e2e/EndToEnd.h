#pragma once

// The whole program with its real window, serial adapter and timers (ticking every 50 ms)
// in a scratch working directory, talking to quorvel-sim over a pty linked as COM 9.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Program.h"
#include "engine/SerialPort.h"
#include "engine/Texts.h"
#include "link/MessageBox.h"
#include "ui/MainWindow.h"

namespace quorvel::e2e {

inline constexpr int kIntervalMs = 50;
inline constexpr int kCom = 9;
// Bounds for waits on a condition; a passing run takes far less.
inline constexpr int kPatienceMs = 8000;
inline const std::string kOrderLogged = "rx \"$PXEMSRT,C*3A\\r\\n\"";

inline double CpuSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Runs the event loop until `done()` holds or `timeoutMs` passes; returns `done()`.
inline bool WaitFor(const std::function<bool()>& done, int timeoutMs = kPatienceMs) {
    if (done()) return true;
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    QTimer check;
    check.setInterval(5);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done() || clock.elapsed() >= timeoutMs) loop.quit();
    });
    check.start();
    loop.exec();
    return done();
}

// Runs the event loop for `ms` with nothing to wait for: only where time itself is measured.
inline void RunFor(int ms) {
    WaitFor([] { return false; }, ms);
}

inline int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// quorvel-sim as a child process; its stdout is collected as it comes.
class Sim {
  public:
    explicit Sim(QStringList args) {
        process_.setProgram(QStringLiteral(QUORVEL_SIM_EXE));
        process_.setArguments(args);
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        QObject::connect(&process_, &QProcess::readyReadStandardOutput,
                         [this] { out_ += process_.readAllStandardOutput().toStdString(); });
        process_.start();
    }
    ~Sim() {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            if (!process_.waitForFinished(2000)) process_.kill();
            process_.waitForFinished(2000);
        }
    }
    // Waits for the link line: the pty is then ready and linked.
    bool Ready(int com) {
        return WaitFor([&] { return Has("COM " + std::to_string(com) + " is"); });
    }
    bool Has(const std::string& text) const { return out_.find(text) != std::string::npos; }
    int Orders() const { return Count(out_, kOrderLogged); }
    const std::string& Out() const { return out_; }
    // Pulls the plug: SIGKILL, so the pty master goes away without any goodbye.
    void Unplug() {
        process_.kill();
        process_.waitForFinished(2000);
    }
    std::string Err() { return process_.readAllStandardError().toStdString(); }

  private:
    QProcess process_;
    std::string out_;
};

class NoMessages : public MessageBox {
  public:
    std::vector<std::string> shown;
    void Show(const std::string& title, const std::string& text) override {
        shown.push_back(title + "|" + text);
    }
};

// What the operator saw after a handler ran: the status, its colour and the caption.
struct Look {
    std::string status;
    QColor colour;
    QString label;
};

class EndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        previousDir_ = QDir::currentPath();
        QDir::setCurrent(dir_.path());
        wall_.start();
    }
    void TearDown() override {
        if (!wall_.isValid()) return;  // skipped before it began
        program_.reset();
        sims_.clear();
        QDir::setCurrent(previousDir_);
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::printf("[   wall   ] %s.%s: %.2f s\n", info->test_suite_name(), info->name(),
                    static_cast<double>(wall_.elapsed()) / 1000.0);
    }

    std::string PortsFolder() const { return dir_.filePath("ports").toStdString(); }

    // A receiver on COM 9, ticking as fast as the window's timers.
    Sim& StartSim(QStringList extra = {}) {
        QStringList args{"--com",       QString::number(kCom),
                         "--ports-dir", QString::fromStdString(PortsFolder()),
                         "--rate-ms",   QString::number(kIntervalMs)};
        args += extra;
        sims_.push_back(std::make_unique<Sim>(args));
        Sim& sim = *sims_.back();
        EXPECT_TRUE(sim.Ready(kCom)) << sim.Out() << sim.Err();
        return sim;
    }

    void WriteSettings(const QByteArray& content) {
        QFile f(dir_.filePath("Set.txt"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    QByteArray ReadSettings() const {
        QFile f(dir_.filePath("Set.txt"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // Start-up with "Set.txt" naming COM 9; the rate is then picked in the window, as the
    // operator would, so that the file written on open can be told from the one read.
    void Launch(const QString& baud = QStringLiteral("9600")) {
        WriteSettings("COM " + QByteArray::number(kCom) + ",9600\r\n");
        ProgramParts parts;
        parts.timerIntervalMs = kIntervalMs;
        parts.portsFolder = PortsFolder();
        parts.messages = &messages_;
        program_ = std::make_unique<Program>(parts);
        program_->Form_Load();
        ASSERT_TRUE(messages_.shown.empty());
        Child<QComboBox>("BaudRate_6")->setCurrentText(baud);
        ASSERT_EQ(Child<QComboBox>("BaudRate_6")->currentText(), baud);
        Record();
    }

    // Keeps every look the window takes: sampled once the handler that changed the status
    // has finished, so that the caption set after the text is seen too.
    void Record() {
        QObject::connect(Child<QTextEdit>("Text_Error_1"), &QTextEdit::textChanged, &Window(),
                         [this] {
                             texts_.push_back(Window().StatusText());
                             QTimer::singleShot(0, &Window(), [this] { looks_.push_back(Now()); });
                         });
    }
    Look Now() { return {Window().StatusText(), StatusColour(), Label()}; }
    bool Saw(const std::function<bool(const Look&)>& match) const {
        for (const Look& look : looks_)
            if (match(look)) return true;
        return false;
    }
    // Every status text as it was set, also those replaced within the same handler.
    bool SawStatus(const std::string& status) const {
        for (const std::string& text : texts_)
            if (text == status) return true;
        return false;
    }
    bool SawStatusStarting(const std::string& start) const {
        for (const std::string& text : texts_)
            if (text.rfind(start, 0) == 0) return true;
        return false;
    }
    std::string History() const {
        std::string all;
        for (const Look& l : looks_)
            all += "[" + l.status + "|" + l.colour.name().toStdString() + "|" +
                   l.label.toStdString() + "]\n";
        return all;
    }

    MainWindow& Window() { return program_->Window(); }
    template <typename T>
    T* Child(const char* name) {
        return Window().findChild<T*>(QString::fromLatin1(name));
    }
    void ClickStart() { Child<QPushButton>("Cmd_Start_1")->click(); }
    QString Label() { return Child<QLabel>("Label1")->text(); }
    QColor StatusColour() {
        return Child<QTextEdit>("Text_Error_1")->palette().color(QPalette::Base);
    }
    bool AllTimersOff() {
        for (TimerId t : {TimerId::Timer1, TimerId::Timer, TimerId::Timer_Start, TimerId::Timer_PF})
            if (Window().TimerEnabled(t)) return false;
        return true;
    }
    // Stop on a run with a verdict: back to the idle look with the port closed.
    void StopAndExpectIdle() {
        ASSERT_FALSE(Window().StatusText().empty());
        ClickStart();
        EXPECT_EQ(Window().StatusText(), "");
        EXPECT_FALSE(program_->Port().IsOpen());
        EXPECT_TRUE(AllTimersOff());
    }
    QByteArray SettingsLine(const char* baud) const {
        return "COM " + QByteArray::number(kCom) + "," + baud + "\r\n";
    }

    static const QColor kRed;
    static const QColor kGreen;

    QTemporaryDir dir_;
    QString previousDir_;
    QElapsedTimer wall_;
    NoMessages messages_;
    std::vector<std::unique_ptr<Sim>> sims_;
    std::unique_ptr<Program> program_;
    std::vector<Look> looks_;
    std::vector<std::string> texts_;
};

inline const QColor EndToEnd::kRed{255, 0, 0};
inline const QColor EndToEnd::kGreen{0, 255, 0};

inline std::string S(std::string_view text) { return std::string(text); }

}  // namespace quorvel::e2e
