#pragma once

#include "engine/Display.h"
#include "engine/RunState.h"
#include "engine/SerialPort.h"
#include "engine/TestEngine.h"

namespace quorvel {

// The one start/stop button: an empty status text means idle, so a click starts;
// any text means a run is under way or its verdict is shown, so a click stops.
class StartStop {
public:
    StartStop(RunState& state, Display& display, SerialPort& port, TestEngine& engine);

    void Cmd_Start_1_Click();

private:
    RunState& s_;
    Display& display_;
    SerialPort& port_;
    TestEngine& engine_;
};

}  // namespace quorvel
