#include "engine/StartStop.h"

namespace quorvel {

StartStop::StartStop(RunState& state, Display& display, SerialPort& port, TestEngine& engine)
    : s_(state), display_(display), port_(port), engine_(engine) {}

void StartStop::Cmd_Start_1_Click() {
    if (display_.StatusText().empty()) {
        display_.SetTimerEnabled(TimerId::Timer1, true);
        return;
    }
    if (port_.IsOpen()) {
        port_.DiscardInput();
        s_.Sentence.clear();
        port_.Close();
    }
    display_.SetTimerEnabled(TimerId::Timer_Start, false);
    display_.SetTimerEnabled(TimerId::Timer, false);
    display_.SetTimerEnabled(TimerId::Timer_PF, false);
    // A second click during a run arms Timer1 again; left on, it would reopen the port
    // one second after this stop.
    display_.SetTimerEnabled(TimerId::Timer1, false);
    engine_.ResetTestRun();
    display_.SetStartButtonColour(Colour::ButtonFace);
    display_.ShowStatus();
    display_.SetStatusColour(Colour::ButtonFace);
    display_.SetStatusText("");
    display_.SetLabel1("");
    display_.SetFrame5Enabled(true);
    display_.SetSelectorColours(Colour::WindowColour);
}

}  // namespace quorvel
