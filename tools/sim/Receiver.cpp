#include "sim/Receiver.h"

#include <cmath>
#include <utility>

#include "sim/Orders.h"

namespace quorvel::sim {
namespace {

constexpr int kSecondsPerDay = 86400;
// Many receivers fall back to the GPS epoch as their date after losing their almanac.
constexpr Date kFallbackDate{1980, 1, 6};
// A MediaTek module's clock after a reboot, until satellite time arrives (mtk-3301.log).
constexpr int kMediaTekClock = 23 * 3600 + 59 * 60 + 46;
constexpr Date kMediaTekDate{1980, 1, 5};
// Satellite time comes a little before the first fix (mtk-3301.log, tn200.log).
constexpr int kTimeBeforeFix = 2;

// Degrees of latitude that `metres` north make at `latitude`: the meridian's radius of
// curvature on the WGS84 ellipsoid.
double NorthDegrees(double metres, double latitude) {
    constexpr double kA = 6378137.0, kE2 = 6.69437999014e-3, kPi = 3.14159265358979323846;
    const double s = std::sin(latitude * kPi / 180);
    const double radius = kA * (1 - kE2) / std::pow(1 - kE2 * s * s, 1.5);
    return metres / radius * 180 / kPi;
}

void Tick(int& secondsOfDay, Date& date) {
    if (++secondsOfDay == kSecondsPerDay) {
        secondsOfDay = 0;
        date = NextDay(date);
    }
}

}  // namespace

Receiver::Receiver(const ReceiverConfig& config)
    : config_(config),
      clock_(config.startSecondsOfDay % kSecondsPerDay),
      date_(config.startDate),
      trueClock_(clock_),
      trueDate_(date_) {}

OrderReaction Receiver::OnOrder(Start start) {
    if (config_.neverRestart) return OrderReaction::IgnoredNeverRestarts;
    if (state_ == State::PoweredOff) return OrderReaction::IgnoredPoweredOff;
    if (state_ != State::Running) return OrderReaction::IgnoredBusy;
    state_ = State::RestartPending;
    start_ = start;
    countdown_ = config_.restartAfter;
    return OrderReaction::Restarting;
}

void Receiver::PowerOff() {
    state_ = State::PoweredOff;
    countdown_ = 0;
    before_.clear();
}

void Receiver::PowerOn() {
    if (state_ != State::PoweredOff) return;
    start_ = Start::Cold;
    Restart();
    // The first burst is one period after power-on: counting from power-on, that is one.
    if (noFix_ > 0) --noFix_;
}

QueryReaction Receiver::OnQuery(const std::string& answer) {
    if (state_ == State::PoweredOff) return QueryReaction::IgnoredPoweredOff;
    before_ += answer;
    return QueryReaction::Answering;
}

std::optional<Epoch> Receiver::NextBurst() {
    std::optional<Epoch> epoch = Step();
    Tick(trueClock_, trueDate_);
    return epoch;
}

std::optional<Epoch> Receiver::Step() {
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
    clock_ = config_.family == Family::Pmtk ? kMediaTekClock : 0;
    date_ = config_.family == Family::Pmtk ? kMediaTekDate : kFallbackDate;
    dateKnown_ = config_.family == Family::Pmtk;
    noFix_ = config_.noFixAfterRestart;
    if (start_ == Start::Warm) noFix_ /= 2;
    if (start_ == Start::Hot) noFix_ /= 4;
    sinceRestart_ = 0;
    ++restarts_;
    before_ = StartupText(config_.family) + before_;
}

Epoch Receiver::Emit() {
    Epoch e;
    e.timeKnown = config_.timeKnown;
    e.fix = restarts_ == 0 || (!config_.neverFix && sinceRestart_ >= noFix_);
    if (config_.family != Family::Pxemsrt && restarts_ > 0) {
        const bool timeKept = start_ == Start::Hot || start_ == Start::Warm;
        const bool skyTime = !config_.neverFix && sinceRestart_ >= noFix_ - kTimeBeforeFix;
        const bool emptyTime = config_.family != Family::Pmtk && config_.family != Family::Psrf;
        if (timeKept || skyTime) {
            clock_ = trueClock_;
            date_ = trueDate_;
            dateKnown_ = true;
        } else if (emptyTime) {
            e.timeKnown = false;
        }
    }
    e.before = std::exchange(before_, {});
    e.secondsOfDay = clock_;
    e.date = date_;
    e.dateKnown = dateKnown_;
    if (e.fix) dateKnown_ = true;
    e.gsa = config_.sendsGsa;
    if (e.fix && restarts_ > 0) {
        const int fixAge = sinceRestart_ - noFix_;  // bursts with a fix after this restart
        if (fixAge < config_.offsetFor) e.latitude += NorthDegrees(config_.offsetM, e.latitude);
        e.twoD = fixAge < config_.twoDFor;
    }
    e.jitter = bursts_;
    e.latitude += (bursts_ % 7) * 0.000002;
    e.longitude -= (bursts_ % 5) * 0.000003;
    ++bursts_;
    ++sinceRestart_;
    Tick(clock_, date_);
    return e;
}

}  // namespace quorvel::sim
