#include "sim/Receiver.h"

namespace quorvel::sim {
namespace {

constexpr int kSecondsPerDay = 86400;
// Many receivers fall back to the GPS epoch as their date after losing their almanac.
constexpr Date kFallbackDate{1980, 1, 6};

}  // namespace

Receiver::Receiver(const ReceiverConfig& config)
    : config_(config), clock_(config.startSecondsOfDay % kSecondsPerDay), date_(config.startDate) {}

OrderReaction Receiver::OnOrder() {
    if (config_.neverRestart) return OrderReaction::IgnoredNeverRestarts;
    if (state_ == State::PoweredOff) return OrderReaction::IgnoredPoweredOff;
    if (state_ != State::Running) return OrderReaction::IgnoredBusy;
    state_ = State::RestartPending;
    countdown_ = config_.restartAfter;
    return OrderReaction::Restarting;
}

std::optional<Epoch> Receiver::NextBurst() {
    if (state_ == State::RestartPending) {
        if (countdown_ > 0) {
            --countdown_;
            return Emit();
        }
        state_ = State::Rebooting;
        countdown_ = config_.rebootSilence;
    }
    if (state_ == State::Rebooting) {
        if (countdown_ > 0) {
            --countdown_;
            return std::nullopt;
        }
        Restart();
    }
    if (state_ == State::PoweredOff) return std::nullopt;
    if (config_.powerOffAfter && restarts_ > 0 && sinceRestart_ >= *config_.powerOffAfter) {
        state_ = State::PoweredOff;
        return std::nullopt;
    }
    return Emit();
}

void Receiver::Restart() {
    state_ = State::Running;
    clock_ = 0;
    date_ = kFallbackDate;
    dateKnown_ = false;
    sinceRestart_ = 0;
    ++restarts_;
}

Epoch Receiver::Emit() {
    Epoch e;
    e.timeKnown = config_.timeKnown;
    e.secondsOfDay = clock_;
    e.date = date_;
    e.dateKnown = dateKnown_;
    e.fix = restarts_ == 0 || sinceRestart_ >= config_.noFixAfterRestart;
    if (e.fix) dateKnown_ = true;
    e.jitter = bursts_;
    e.latitude += (bursts_ % 7) * 0.000002;
    e.longitude -= (bursts_ % 5) * 0.000003;
    ++bursts_;
    ++sinceRestart_;
    if (++clock_ == kSecondsPerDay) {
        clock_ = 0;
        date_ = NextDay(date_);
    }
    return e;
}

}  // namespace quorvel::sim
