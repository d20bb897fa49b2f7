#include "app/Program.h"

#include <QCoreApplication>

#include "engine/StartStop.h"
#include "engine/TestEngine.h"
#include "link/ComPorts.h"
#include "link/Connection.h"
#include "link/QtSerialPort.h"
#include "link/SettingsFile.h"
#include "link/StartUp.h"
#include "ui/MainWindow.h"
#include "ui/QtMessageBox.h"

namespace quorvel {

Program::Program(ProgramParts parts)
    : window_(std::make_unique<MainWindow>(parts.timerIntervalMs)),
      portsFolder_(parts.portsFolder.empty() ? DefaultPortsFolder() : parts.portsFolder) {
    if (parts.port) {
        port_ = parts.port;
    } else {
        auto adapter = std::make_unique<QtSerialPort>(portsFolder_, window_.get());
        adapter->SetEventHandler([this](std::int16_t kind) { HandlePortEvent(kind); });
        port_ = adapter.get();
        ownedPort_ = std::move(adapter);
    }
    if (parts.settings) {
        settings_ = parts.settings;
    } else {
        ownedSettings_ = std::make_unique<SettingsFile>();
        settings_ = ownedSettings_.get();
    }
    if (parts.messages) {
        messages_ = parts.messages;
    } else {
        ownedMessages_ = std::make_unique<QtMessageBox>(window_.get());
        messages_ = ownedMessages_.get();
    }
    engine_ = std::make_unique<TestEngine>(state_, *window_, *port_);
    startStop_ = std::make_unique<StartStop>(state_, *window_, *port_, *engine_);
    connection_ = std::make_unique<Connection>(state_, *window_, *port_, *settings_);
    startUp_ = std::make_unique<StartUp>(state_, *window_, *settings_, *messages_, *window_);
    WireWindow();
}

Program::~Program() {
    // The adapter is a child of the window; let it go before the window does.
    ownedPort_.reset();
}

void Program::WireWindow() {
    MainWindow& w = *window_;
    w.onStartClicked = [this] { startStop_->Cmd_Start_1_Click(); };
    w.onExitClicked = [this] { Com_Exit_Click(); };
    w.onTimerTick = [this](TimerId timer) {
        if (exiting_) return;
        switch (timer) {
            case TimerId::Timer1: connection_->Timer1_Tick(); break;
            case TimerId::Timer: connection_->Timer_Tick(); break;
            case TimerId::Timer_Start: engine_->Timer_Start_Tick(); break;
            case TimerId::Timer_PF: engine_->Timer_PF_Tick(); break;
        }
    };
    w.portToolTip = [this](const QString& entry) {
        // "COM 7" -> 7
        const int number = entry.mid(4, 3).toInt();
        return QString::fromStdString(ComToolTip(number, portsFolder_));
    };
}

void Program::Form_Load() { startUp_->Form_Load(); }

void Program::HandlePortEvent(std::int16_t kind) {
    if (exiting_) return;
    engine_->HandlePortEvent(kind);
}

void Program::Com_Exit_Click() {
    exiting_ = true;
    for (TimerId timer : {TimerId::Timer1, TimerId::Timer, TimerId::Timer_Start, TimerId::Timer_PF})
        window_->SetTimerEnabled(timer, false);
    if (port_->IsOpen()) port_->Close();
    window_->AllowClose();
    window_->close();
    QCoreApplication::exit(0);
}

}  // namespace quorvel
