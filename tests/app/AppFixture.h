#pragma once

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/Program.h"
#include "link/MessageBox.h"
#include "support/FakeSerialPort.h"
#include "ui/MainWindow.h"

namespace quorvel::testing {

class RecordingMessageBox : public MessageBox {
public:
    std::vector<std::string> shown;
    void Show(const std::string& title, const std::string& text) override {
        shown.push_back(title + "|" + text);
    }
};

// The whole program in a temporary working directory, with a serial port in memory.
// Ticks are driven by hand: a "second" ticks every timer that is enabled.
class AppTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        previousDir_ = QDir::currentPath();
        QDir::setCurrent(dir_.path());
    }
    void TearDown() override {
        program_.reset();
        QDir::setCurrent(previousDir_);
    }

    void WriteSettings(const QByteArray& content) {
        QFile f(dir_.filePath("Set.txt"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    QByteArray ReadSettings() {
        QFile f(dir_.filePath("Set.txt"));
        if (!f.open(QIODevice::ReadOnly)) return {};
        return f.readAll();
    }

    void Launch() {
        ProgramParts parts;
        parts.port = &port_;
        parts.messages = &messages_;
        parts.portsFolder = dir_.filePath("ports").toStdString();
        program_ = std::make_unique<Program>(parts);
        program_->Form_Load();
    }

    MainWindow& Window() { return program_->Window(); }
    RunState& State() { return program_->State(); }
    template <typename T>
    T* Child(const char* name) {
        return Window().findChild<T*>(QString::fromLatin1(name));
    }

    void ClickStart() { Child<QPushButton>("Cmd_Start_1")->click(); }

    // Ticks `timer` through the window's wiring if it is running.
    void Tick(TimerId timer) {
        if (Window().TimerEnabled(timer) && Window().onTimerTick) Window().onTimerTick(timer);
    }
    // One second of the window's life: every running timer ticks once.
    void Second() {
        for (TimerId t : {TimerId::Timer1, TimerId::Timer, TimerId::Timer_Start, TimerId::Timer_PF})
            Tick(t);
    }
    // The receiver sends `text`; the port reports it.
    void Receive(const std::string& text) {
        port_.pending += text;
        program_->HandlePortEvent(2);
    }

    static std::string Gga(const std::string& hhmmss) {
        return "$GPGGA," + hhmmss + ".00,2447.0000,N,12100.0000,E,1,08,0.9,100.0,M,15.0,M,,*47\r\n";
    }

    QTemporaryDir dir_;
    QString previousDir_;
    FakeSerialPort port_;
    RecordingMessageBox messages_;
    std::unique_ptr<Program> program_;
};

}  // namespace quorvel::testing
