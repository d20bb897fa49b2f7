#pragma once

#include <cstdint>
#include <string>

namespace quorvel {

// The state that the handlers of a test run share. Start-up gives every field its
// start value (all zero, empty, false); ResetTestRun gives the reset values.
struct RunState {
    std::int16_t NoRespondSeconds = 0;
    std::int16_t GgaCount = 0;
    std::int16_t ReceiveTick = 0;       // 0..1000, cyclic
    std::int16_t Phase = 0;             // 0 no order yet, 1 order outstanding, 2 confirmed
    std::int16_t RestartCountdown = 0;  // 0 at start-up, 30 after a reset or connection step
    std::int16_t ColdStartSeconds = 0;
    std::int16_t LastReceiveTick = 0;
    std::int16_t SilentSeconds = 0;
    std::int16_t ProbeSeconds = 0;
    std::int16_t BaudCheckSeconds = 0;  // 0..9
    bool GgaSeen = false;
    std::string RxBuffer{};
    std::string Sentence{};
    std::int32_t ConnectTicks = 0;  // only whether it is 0 matters; never wraps back to 0

    // Set by every receive event whose read delivered text; cleared by the connection
    // step. The connection probe asks this, since RxBuffer may be empty after text came.
    bool TextReceived = false;

    // The evidence that tells a restart from a clock that runs on (midnight, a young clock)
    // or from a fix dropout. Forgotten by ResetTestRun.
    bool GgaTimeKnown = false;
    std::int32_t LastGgaSeconds = 0;    // the last valid GGA time, seconds of the day
    std::int16_t SecondsSinceGga = 0;   // Timer_Start ticks since that GGA
    std::int16_t QuietSeconds = 0;      // Timer_Start ticks since text last came
    bool SilenceSinceOrder = false;     // the line went quiet while the order was outstanding
    bool StartUpSinceOrder = false;     // the receiver announced a start-up since the order
    // ColdStartSeconds when the receiver first looked restarted since the order (a GGA showing
    // the sign, the start of a silence, a start-up message); -1 while it has not.
    std::int16_t FirstSignSecond = -1;

    // Signs a front end has seen the receiver show without any order: they prove no restart.
    // Kept for the whole session, across ResetTestRun.
    bool TimeGoneTrusted = true;
    bool SilenceTrusted = true;
};

}  // namespace quorvel
