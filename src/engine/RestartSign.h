#pragma once

#include <optional>

#include "engine/EngineObserver.h"
#include "engine/Gga.h"

namespace quorvel {

// What the cycle has seen of the receiver since its last timed GGA and since the order: the
// evidence that tells a restart from a clock that runs on, a midnight or a fix dropout.
struct RestartEvidence {
    std::optional<int> lastSeconds;  // the last valid GGA time, seconds of the day
    int elapsed = 0;                 // our own seconds since that GGA
    bool silence = false;            // the line went quiet since the order
    bool startUp = false;            // the family's start-up message came since the order
    bool timeGoneCounts = true;      // false: the receiver also loses its time without orders
};

// The time as seconds of the day when it is a time a clock can show: hours 0-23, minutes 0-59,
// seconds 0-60 (a leap second), each two digits; otherwise nothing.
std::optional<int> ClockSeconds(const GgaTime& time);

// A clock runs on when its time advanced by about the time that passed on our own clock since
// its last GGA, whatever the gap between GGAs and whatever the receiver's step. One second of
// leeway either way: our seconds and the receiver's epochs do not come in step.
bool RunsOn(int lastSeconds, int nowSeconds, int elapsed);

// Whether `gga`, arriving while an order awaits its restart, proves the restart.
// - ClockReset: the time is 00:00:00-00:00:09 and is not where a running clock would be.
// - FixLost: the quality is a readable 0, and a second sign comes with the lost fix: the time is
//   gone, the clock fell back or jumped, the line went quiet, or the start-up message came.
//   A fix dropout under open sky shows none of these. A silence followed by the start-up
//   message confirms even with a fix: a hot start may regain it at once.
bool ConfirmsRestart(RestartSign sign, const GgaFields& gga, const RestartEvidence& evidence);

}  // namespace quorvel
