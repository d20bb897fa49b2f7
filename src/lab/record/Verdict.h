#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace quorvel::lab {

// How a cycle ends in the journal, or a run that ended before its first order.
enum class Verdict : std::uint8_t {
    Ok,
    NoRespond,
    ShutDown,
    BaudMismatch,
    CantConnect,
    NoFix,
    PortError,     // the port failed under the run: the device's fault, not the receiver's
    Unidentified,  // an `auto` port whose receiver named no family
    Ended,         // cut short by the end of the run before its fix was due: not judged
    Stalled,       // under way while the lab itself was stopped: not judged
    PowerError,    // the receiver's supply could not be switched, or did not switch
};

// The journal's names, in the order of the enum; the summary's columns follow it.
inline constexpr std::array<std::string_view, 11> kVerdictNames = {
    "ok",     "no-respond", "shut-down",    "baud-mismatch", "cant-connect", "no-fix",
    "port-error", "unidentified", "ended",   "stalled",       "power-error"};

constexpr std::string_view NameOf(Verdict verdict) {
    return kVerdictNames[static_cast<std::size_t>(verdict)];
}

constexpr std::optional<Verdict> VerdictNamed(std::string_view name) {
    for (std::size_t i = 0; i < kVerdictNames.size(); ++i)
        if (kVerdictNames[i] == name) return static_cast<Verdict>(i);
    return std::nullopt;
}

// Whether the cycle counts toward the receiver's standing.
constexpr bool Judged(Verdict verdict) {
    return verdict != Verdict::Ended && verdict != Verdict::Stalled;
}

}  // namespace quorvel::lab
