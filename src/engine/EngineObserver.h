#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Gga.h"
#include "engine/Texts.h"

namespace quorvel {

// How a run ended when it did not end by a click.
enum class Verdict { NoRespond, ShutDown, BaudMismatch, CantConnect };

// Told what the cycle does, for a front end that keeps its own record instead of reading the
// status texts. Every call comes from inside a handler, after the state it reports has changed.
class EngineObserver {
public:
    virtual ~EngineObserver() = default;

    virtual void OrderSent(const std::string& order) = 0;
    // Phase 1 became Phase 2; the seconds Timer_Start counted since the order.
    virtual void RestartConfirmed(std::int16_t coldStartSeconds) = 0;
    // Baud-mismatch repeats on every receive event for as long as the verdict stands.
    virtual void VerdictReached(Verdict verdict) = 0;
    // Each GGA sentence the cycle analyses, with its fields, before any order it triggers.
    virtual void GgaAnalysed(std::string_view sentence, const GgaFields& gga) = 0;
    // Every complete sentence, before anything is made of it; `intact` is false when checksums
    // are checked and this one does not match (it then goes no further).
    virtual void SentenceRead(std::string_view /*sentence*/, bool /*intact*/) {}
    // Asked before each order, with the order the cycle was given: the bytes to send, or
    // nothing when the front end wants no order now (it has all the cycles it wants, or the
    // last start is still under way). A front end that takes several starts in turn says
    // which one goes out.
    virtual std::optional<std::string> NextOrder(const std::string& order) { return order; }
};

// How a receiver shows that it obeyed a cold-start order.
enum class RestartSign {
    // Its GGA time falls back to 00:00:00-00:00:09: the window's receivers.
    ClockReset,
    // It loses its fix (a readable quality 0) with a second sign: its time gone, its clock
    // fallen back or jumped, a silence, or its start-up message. Only sentences with a fix
    // count toward an order, and an order waits for a fix: a cold start ordered before the
    // receiver has a fix proves nothing.
    FixLost,
};

// What a front end may choose about the cycle; the defaults are the window's.
struct CycleSettings {
    std::int16_t countdown = 30;  // seconds from a confirmed restart to the next order
    std::string order{texts::kColdStartOrder};
    EngineObserver* observer = nullptr;
    RestartSign sign = RestartSign::ClockReset;
    // The window takes every sentence as it comes; a front end whose verdicts must be signed
    // lets only sentences whose checksum matches decide anything.
    bool checkSums = false;
    // Sentence beginnings by which the receiver announces that it has started up again.
    std::vector<std::string> startUpTexts{};
    // A restart shows soon after its order: when set, the receiver must first look restarted
    // within this many seconds of the order, or the order's later signs are some other event's
    // (a dropout, a stall). The window's receivers are taken at any time.
    std::optional<std::int16_t> signWithinS{};
};

}  // namespace quorvel
