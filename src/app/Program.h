#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/RunState.h"

namespace quorvel {

class Connection;
class MainWindow;
class MessageBox;
class SerialPort;
class SettingsStore;
class StartStop;
class StartUp;
class TestEngine;

// What a test may put in place of the real thing. The product uses the defaults.
struct ProgramParts {
    int timerIntervalMs = 1000;
    std::string portsFolder;             // empty: the per-user override folder
    SerialPort* port = nullptr;          // null: the serial device adapter
    SettingsStore* settings = nullptr;   // null: "Set.txt" in the working directory
    MessageBox* messages = nullptr;      // null: real modal message boxes
};

// Form1 with everything it owns: the window, the serial port, the timers, the run
// state, and the handlers wired to the clicks, ticks and port notifications.
class Program {
public:
    explicit Program(ProgramParts parts = {});
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // The load handler: start-up, ending with the window shown.
    void Form_Load();
    // Ends the program at once, releasing the port.
    void Com_Exit_Click();

    MainWindow& Window() { return *window_; }
    RunState& State() { return state_; }
    SerialPort& Port() { return *port_; }
    // Where the port's notifications go.
    void HandlePortEvent(std::int16_t kind);

private:
    void WireWindow();

    RunState state_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<SerialPort> ownedPort_;
    std::unique_ptr<SettingsStore> ownedSettings_;
    std::unique_ptr<MessageBox> ownedMessages_;
    SerialPort* port_ = nullptr;
    SettingsStore* settings_ = nullptr;
    MessageBox* messages_ = nullptr;
    std::unique_ptr<TestEngine> engine_;
    std::unique_ptr<StartStop> startStop_;
    std::unique_ptr<Connection> connection_;
    std::unique_ptr<StartUp> startUp_;
    std::string portsFolder_;
    bool exiting_ = false;
};

}  // namespace quorvel
