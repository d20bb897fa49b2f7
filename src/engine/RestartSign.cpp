#include "engine/RestartSign.h"

#include <algorithm>
#include <cctype>

namespace quorvel {
namespace {

constexpr int kSecondsPerDay = 86400;

std::optional<int> TwoDigits(const std::string& part, int highest) {
    if (part.size() != 2 || !std::all_of(part.begin(), part.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c)) != 0;
        }))
        return std::nullopt;
    const int value = (part[0] - '0') * 10 + (part[1] - '0');
    return value <= highest ? std::optional(value) : std::nullopt;
}

}  // namespace

std::optional<int> ClockSeconds(const GgaTime& time) {
    const auto hh = TwoDigits(time.hh, 23), mm = TwoDigits(time.mm, 59), ss = TwoDigits(time.ss, 60);
    if (!hh || !mm || !ss) return std::nullopt;
    return *hh * 3600 + *mm * 60 + *ss;
}

bool RunsOn(int lastSeconds, int nowSeconds, int elapsed) {
    const int advance = ((nowSeconds - lastSeconds) % kSecondsPerDay + kSecondsPerDay) % kSecondsPerDay;
    int off = (advance - elapsed % kSecondsPerDay + kSecondsPerDay) % kSecondsPerDay;
    if (off > kSecondsPerDay / 2) off = kSecondsPerDay - off;
    return off <= 1;
}

bool ConfirmsRestart(RestartSign sign, const GgaFields& gga, const RestartEvidence& e) {
    const auto now = ClockSeconds(gga.time);
    const bool known = now && e.lastSeconds;
    const bool runsOn = known && RunsOn(*e.lastSeconds, *now, e.elapsed);
    // The reset time is valued by position, as the window shows it; only a clock read whole
    // can be said to run on.
    if (sign == RestartSign::ClockReset) return IsResetTime(gga.time) && !runsOn;
    // A hot start may keep or regain its fix at once: a reboot's silence followed by the
    // start-up message are two signs without the loss of the fix.
    if (e.silence && e.startUp) return true;
    if (gga.quality != 0) return false;
    return (!gga.hasTime && e.timeGoneCounts) || (known && !runsOn) || e.silence || e.startUp;
}

}  // namespace quorvel
