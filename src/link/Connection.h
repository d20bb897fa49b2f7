#pragma once

#include "engine/Display.h"
#include "engine/EngineObserver.h"
#include "engine/RunState.h"
#include "engine/SerialPort.h"
#include "link/SettingsStore.h"

namespace quorvel {

// Sets a test run's connection up (Timer1) and probes whether the receiver can be heard (Timer).
class Connection {
public:
    Connection(RunState& state, Display& display, SerialPort& port, SettingsStore& settings,
               CycleSettings cycle = {});

    void Timer1_Tick();
    void Timer_Tick();
    // Applies the selected port and rate, opens the port, saves the choice.
    // Abandons silently at the first refused step.
    void ConfigurePort();

private:
    void ConnectionStep();
    void ReportNoConnection();

    RunState& s_;
    Display& display_;
    SerialPort& port_;
    SettingsStore& settings_;
    CycleSettings cycle_;
};

}  // namespace quorvel
