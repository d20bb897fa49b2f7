#include "lab/cycle/Receiver.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "lab/families/Orders.h"

namespace quorvel::lab {
namespace {

constexpr TimerId kTimers[] = {TimerId::Timer1, TimerId::Timer, TimerId::Timer_Start,
                               TimerId::Timer_PF};

lab::Verdict Journaled(quorvel::Verdict verdict) {
    switch (verdict) {
        case quorvel::Verdict::NoRespond:
            return lab::Verdict::NoRespond;
        case quorvel::Verdict::ShutDown:
            return lab::Verdict::ShutDown;
        case quorvel::Verdict::BaudMismatch:
            return lab::Verdict::BaudMismatch;
        case quorvel::Verdict::CantConnect:
            break;
    }
    return lab::Verdict::CantConnect;
}

double Tenth(double seconds) { return std::round(seconds * 10) / 10; }

}  // namespace

Receiver::Machine::Machine(Receiver& r, const CycleSettings& cycle)
    : engine(r.run_, r.display_, r.tap_, cycle),
      startStop(r.run_, r.display_, r.tap_, engine),
      connection(r.run_, r.display_, r.tap_, r.settings_, cycle) {}

Receiver::Receiver(const PortSpec& given, SerialPort& port, const Settings& settings, Clock clock,
                   RowSink rows, EventSink events, std::unique_ptr<PowerSwitch> power)
    : name_(given.name),
      port_(port),
      tap_(port),
      given_(settings),
      now_(std::move(clock)),
      rows_(std::move(rows)),
      events_(std::move(events)),
      powerSwitch_(std::move(power)) {
    // A device path opens through any COM number; the port adapter resolves it.
    display_.port = "COM " + std::to_string(given.com ? given.com : 1);
    display_.baud = given.baud;
    Build(settings.profile);
    firstFix_ = {settings.fix3d, settings.reference, settings.fixWithinM};
    ttffRule_ = firstFix_.Text();
}

// The cycle for `family`'s orders of the starts in turn; an `auto` port that does not know its
// family yet listens only: it orders nothing.
void Receiver::Build(const Profile* family) {
    family_ = family;
    profileName_ = family ? family->name : "auto";
    PortOrders plan = OrdersFor(family, given_.starts, given_.order, given_.sign);
    starts_ = std::move(plan.starts);
    orders_ = std::move(plan.orders);
    CycleSettings cycle{.countdown = static_cast<std::int16_t>(given_.interval),
                        .order = orders_.empty() ? std::string() : orders_.front(),
                        .observer = this,
                        .sign = plan.sign,
                        .checkSums = true,
                        .startUpTexts = family ? family->startupTexts : std::vector<std::string>{},
                        .signWithinS = kSignWithinS};
    machine_ = std::make_unique<Machine>(*this, cycle);
    turn_ = 0;
}

lab::Start Receiver::NextStart() const { return starts_[turn_ % starts_.size()]; }

void Receiver::Start() {
    JudgeLatest();
    CloseOpenCycle();
    verdict_.reset();
    retryAt_.reset();
    fixAwaitedSince_ = now_();
    nextOrderAt_.reset();
    hadTime_ = false;
    queried_ = false;
    listenUntil_.reset();
    // A run lost before the probe's first second (a server that closes at once, a device that
    // hangs up when opened) shows no status, and a click on that only arms Timer1 again, whose
    // connection step is taken once a run: the run is reset so that the next one connects anew.
    if (display_.StatusText().empty()) machine_->engine.ResetTestRun();
    // A click on a run with a verdict only clears it; the next one starts.
    machine_->startStop.Cmd_Start_1_Click();
    if (!display_.TimerEnabled(TimerId::Timer1)) machine_->startStop.Cmd_Start_1_Click();
    SetState("connecting");
}

void Receiver::Tick() {
    if (finished_) {
        Finish();  // one that reached its cycles inside a handler is stopped here
        return;
    }
    if (CheckStall()) return;
    WatchPower();
    if (!family_ && !verdict_ && listenUntil_ && now_() >= *listenUntil_) return DecideFamily();
    bool due[4];
    for (int i = 0; i < 4; ++i) due[i] = display_.TimerEnabled(kTimers[i]);
    // A timer that an earlier handler of this second turned off does not run.
    Machine& m = *machine_;
    if (due[0] && display_.TimerEnabled(TimerId::Timer1)) m.connection.Timer1_Tick();
    if (due[1] && display_.TimerEnabled(TimerId::Timer)) m.connection.Timer_Tick();
    if (due[2] && display_.TimerEnabled(TimerId::Timer_Start)) m.engine.Timer_Start_Tick();
    if (due[3] && display_.TimerEnabled(TimerId::Timer_PF)) m.engine.Timer_PF_Tick();
    if (!verdict_) WatchUnorderedSigns(nullptr);
    if (!verdict_) WatchFixWait();

    // A run that fell silent before its first order ends without a verdict, all timers off.
    if (!verdict_ && !Idle()) return;
    if (!retryAt_) {
        retryAt_ = now_() + given_.retryS;
        if (!verdict_) SetState("silent");
    }
    // The tick nearest to the retry time, not the first one after it: ticks come a second
    // apart, and the first one after would make a retry of S last up to S + 1 seconds.
    if (now_() < *retryAt_ - 0.5) return;
    Tell("retry");
    Start();
}

// Every state that can last ends in a row: a receiver that never gets the fix the cycle
// waits for (no time at all, a fix that never comes back, a countdown that waits for a fix).
void Receiver::WatchFixWait() {
    // A decided receiver awaits nothing: no order follows its fix.
    if (ordersStopped_ && cycle_ == Cycle::Idle) return;
    if (!fixAwaitedSince_ && cycle_ == Cycle::Idle && run_.Phase == 2 && OrderDue())
        fixAwaitedSince_ = now_();
    // While an order awaits its restart, the no-respond watchdog speaks: a deaf receiver is
    // no-respond whatever the fix limit.
    if (cycle_ == Cycle::Ordered) return;
    if (!fixAwaitedSince_ || now_() - *fixAwaitedSince_ < given_.fixLimitS) return;
    JudgeLatest();
    if (!fixAwaitedSince_) return;  // it was there
    std::string event = "no-fix for " + std::to_string(given_.fixLimitS) + " s";
    if (const Epoch* last = fixes_.Latest(); last && last->gga.HasFix() && !last->gga.hasTime)
        event += ": no time in its GGA";
    if (firstFix_.withinM && lastError_) {
        char text[96];
        std::snprintf(text, sizeof text, ": its last fix was %.1f m from the reference",
                      *lastError_);
        event += text;
    }
    EndRun(lab::Verdict::NoFix, event);
}

bool Receiver::OrderDue() const { return !nextOrderAt_ || now_() >= *nextOrderAt_; }

// Only between cycles (before the first order, or after a start's first fix) is the receiver
// known to have been ordered nothing: whatever restart sign it shows then is not a restart.
void Receiver::WatchUnorderedSigns(const GgaFields* gga) {
    if (cycle_ != Cycle::Idle || !port_.IsOpen()) return;
    if (gga && gga->hasTime) hadTime_ = true;
    if (gga && !gga->hasTime && hadTime_ && run_.TimeGoneTrusted) {
        run_.TimeGoneTrusted = false;
        Tell("its GGA lost its time without an order: a lost time no longer shows a restart");
    }
    if (!gga && run_.TextReceived && run_.QuietSeconds >= 3 && run_.SilenceTrusted) {
        run_.SilenceTrusted = false;
        Tell("it fell silent for 3 s without an order: a silence no longer shows a restart");
    }
}

// The lab's seconds are its clock's, and every tick reads it: a gap of many seconds between two
// ticks is a lab that did not run. The receiver's restart and fix times across it would be the
// stall's, so the cycle under way gets a row that says so, and the run starts afresh.
bool Receiver::CheckStall() {
    const double now = now_();
    const double gap = lastTickAt_ ? now - *lastTickAt_ : 0;
    lastTickAt_ = now;
    if (gap < given_.stallS || verdict_ || finished_) return false;
    char text[96];
    std::snprintf(text, sizeof text, "the lab was stopped for %.1f s: its cycle is not judged", gap);
    Tell(text);
    if (cycle_ != Cycle::Idle) WriteRow(lab::Verdict::Stalled);
    if (!finished_) Start();
    return true;
}

void Receiver::EndRun(lab::Verdict verdict, const std::string& line, bool judgeLatest,
                      const std::string& reason) {
    if (judgeLatest) JudgeLatest();
    verdict_ = verdict;
    retryAt_ = now_() + given_.retryS;
    fixAwaitedSince_.reset();
    WriteRow(verdict);
    if (port_.IsOpen()) port_.Close();
    for (TimerId timer : kTimers) display_.SetTimerEnabled(timer, false);
    const std::string name(NameOf(verdict));
    if (events_ && !line.empty() && line != name) events_({line, verdict, reason});
    if (intact_ == 0 && damaged_ > 0)
        Tell("every sentence damaged (" + std::to_string(damaged_) + ")");
    SetState(name, verdict);
}

void Receiver::Tell(const std::string& text) const {
    if (events_) events_({text});
}

bool Receiver::Idle() const {
    for (TimerId timer : kTimers) {
        if (display_.TimerEnabled(timer)) return false;
    }
    return true;
}

void Receiver::HandlePortEvent(std::int16_t kind) {
    if (finished_) return;
    // Bytes read after a stall came during it: their times are not theirs.
    if (lastTickAt_ && now_() - *lastTickAt_ >= given_.stallS + 1 && CheckStall()) return;
    if (kind == comm_event::kDeviceFailure) {
        const std::string reason = port_.ErrorReason();
        // A receiver on USB leaves the system with its power, and comes back when it is on.
        if (powerCycleOpen_ && !verdict_) {
            if (!vanishTold_) Tell("its device went away with its power: " + reason);
            vanishTold_ = true;
            display_.SetTimerEnabled(TimerId::Timer_PF, false);  // until it is back
            return;
        }
        // The device failed under the run: the port's fault, not the receiver's.
        if (!verdict_) EndRun(lab::Verdict::PortError, "port-error: " + reason, true, reason);
        return;
    }
    // A run ended on a verdict hears nothing until its retry: a late answer belongs to an order
    // that already has its row. Only a receiver back after a shut-down goes on.
    if (verdict_ && *verdict_ != lab::Verdict::ShutDown) return;
    machine_->engine.HandlePortEvent(kind);
    AfterReceive();
}

void Receiver::Finish() {
    if (!finished_) JudgeLatest();
    if (!finished_ && cycle_ != Cycle::Idle) {
        // Cut by the end of the run: judged, as a failure, only when its fix was already due.
        const bool due = given_.fixDueS && now_() - orderAt_ >= *given_.fixDueS;
        WriteRow(!due                          ? lab::Verdict::Ended
                 : cycle_ == Cycle::Restarted ? lab::Verdict::Ok
                                              : lab::Verdict::NoRespond);
    }
    finished_ = true;
    if (port_.IsOpen()) port_.Close();
    for (TimerId timer : kTimers) display_.SetTimerEnabled(timer, false);
    SetState("done");
    // One more try for a supply an earlier switch left off: the lab never leaves it so.
    if (!powerLeftOff_.empty() && power_ == Power::Steady && powerSwitch_) SwitchPower(true);
}

bool Receiver::PowerPending() const {
    return power_ == Power::SwitchingOff || power_ == Power::Off || power_ == Power::SwitchingOn;
}

void Receiver::SwitchPower(bool on) {
    power_ = on ? Power::SwitchingOn : Power::SwitchingOff;
    if (powerCycleOpen_) SetState(on ? "switching on" : "switching off");
    powerSwitch_->Switch(on, [this, on](const std::string& error) { PowerSwitched(on, error); });
}

void Receiver::PowerSwitched(bool on, const std::string& error) {
    if (!powerCycleOpen_) {
        // The cycle has its row; what is left is to put the supply back on. A switch-off that
        // failed may still have switched it off.
        if (!on) return SwitchPower(true);
        power_ = Power::Steady;
        if (!error.empty() && powerLeftOff_.empty())
            Tell("power-error: its power could not be switched back on: " + error);
        powerLeftOff_ = error;
        return;
    }
    if (!error.empty()) {
        if (on) powerLeftOff_ = error;
        power_ = on ? Power::Steady : Power::Off;  // an Off is switched on as the row closes it
        EndRun(lab::Verdict::PowerError, "power-error: " + error, false, error);
        return;
    }
    if (!on) {
        power_ = Power::Off;
        poweredOffAt_ = now_();
        SetState("powered off");
        return;
    }
    // The start the journal times: from the moment the supply is back.
    power_ = Power::Back;
    powerLeftOff_.clear();
    orderAt_ = now_();
    fixAwaitedSince_ = orderAt_;
    restart_.reset();
    SetState("powered on");
    if (port_.IsOpen()) display_.SetTimerEnabled(TimerId::Timer_PF, true);
}

// The power start's own clock: when to switch on again, and a device that went away with its
// power reopened as soon as it is back, under whatever device its name now leads to.
void Receiver::WatchPower() {
    if (!powerCycleOpen_ || verdict_) return;
    if (power_ == Power::Off && now_() - poweredOffAt_ >= given_.powerOffForS - 0.5)
        return SwitchPower(true);
    if (power_ != Power::Back || port_.IsOpen()) return;
    if (port_.Open()) {
        const std::string device = port_.DeviceName();
        Tell("back after its power start" + (device.empty() ? std::string() : " as " + device));
        display_.SetTimerEnabled(TimerId::Timer_PF, true);
        return;
    }
    if (now_() - orderAt_ < given_.fixLimitS) return;
    const std::string reason = port_.ErrorReason();
    EndRun(lab::Verdict::PortError,
           "port-error: not back within " + std::to_string(given_.fixLimitS) +
               " s of its power coming on: " + reason,
           false, reason);
}

// The row of a power start is written: a supply still off is switched on again.
void Receiver::PowerCycleClosed() {
    powerCycleOpen_ = false;
    if (power_ == Power::Off) return SwitchPower(true);
    if (power_ == Power::Back) power_ = Power::Steady;
}

std::optional<std::string> Receiver::NextOrder(const std::string&) {
    if (!OrdersWanted() || orders_.empty()) return std::nullopt;
    return orders_[turn_ % orders_.size()];
}

bool Receiver::OrdersWanted() const {
    // An `auto` port orders nothing before its family is known: never a guessed family's order.
    const bool runEnded = verdict_ && *verdict_ != lab::Verdict::ShutDown;
    // A start is counted to its end: no order while the last one awaits its restart or its
    // first fix, nor before the interval after that fix.
    return family_ && !finished_ && !runEnded && !ordersStopped_ &&
           !(given_.cycles && cycles_ >= *given_.cycles) &&
           cycle_ == Cycle::Idle && OrderDue();
}

void Receiver::OrderSent(const std::string&) {
    JudgeLatest();
    CloseOpenCycle();
    orderStart_ = NextStart();
    ++turn_;
    cycle_ = Cycle::Ordered;
    orderAt_ = now_();
    restart_.reset();
    nextOrderAt_.reset();
    hadTime_ = false;
    fixAwaitedSince_ = orderAt_;
    SetState("restarting");
    if (orderStart_ != lab::Start::Power) return;
    powerCycleOpen_ = true;
    vanishTold_ = false;
    // While the lab holds the power, silence is what it asked for: the watchdog waits for on.
    display_.SetTimerEnabled(TimerId::Timer_PF, false);
    if (!powerSwitch_) {
        EndRun(lab::Verdict::PowerError, "power-error: no way to switch its power", false,
               "no way to switch its power");
        return;
    }
    SwitchPower(false);
}

void Receiver::RestartConfirmed(std::int16_t) {
    if (cycle_ != Cycle::Ordered) return;
    // Only its words after its power came on show that it came back.
    if (powerCycleOpen_ && power_ != Power::Back) return;
    cycle_ = Cycle::Restarted;
    restart_ = Tenth(now_() - orderAt_);
    lastRestart_ = restart_;
    SetState("waiting for fix");
}

void Receiver::GgaAnalysed(std::string_view, const GgaFields& gga) {
    if (finished_) return;
    if (!verdict_) WatchUnorderedSigns(&gga);
    if (verdict_ == lab::Verdict::ShutDown) {
        // Back after a shut-down: the run goes on, as the window's does, but with its
        // watchdog on again, or an order it then ignores would never get a verdict.
        verdict_.reset();
        retryAt_.reset();
        display_.SetTimerEnabled(TimerId::Timer_PF, true);
        SetState("resumed");
    }
}


// An epoch that ended after the restart: the first fix when it is one by the rule in force.
// Its GSA and GSV come after its GGA, so an epoch is judged when the next one begins, and its
// TTFF is stamped with the time its GGA came.
void Receiver::Judge(const Epoch& e) {
    // An epoch begun before its start is the fix it had before.
    if (cycle_ != Cycle::Restarted || !e.gga.HasFix() || e.at < orderAt_) return;
    if (firstFix_.fix3d && !fixes_.GsaSeen()) {
        if (!verdict_)
            EndRun(lab::Verdict::NoFix, "no-fix: it sends no GSA, so no fix of it is known 3D",
                   false);
        return;
    }
    const auto error = firstFix_.ErrorM(e.gga);
    if (error) lastError_ = error;
    if (!firstFix_.Counts(e, error)) return;
    const double ttff = Tenth(std::max(e.at - orderAt_, 0.0));
    lastTtff_ = ttff;
    fixAwaitedSince_.reset();
    nextOrderAt_ = e.at + given_.interval;
    WriteRow(lab::Verdict::Ok, ttff, e.gga.satellites, e.gga.hdop, error, fixes_.Cn0For(e));
    SetState("fix");
}

// Before a cycle is closed for want of its fix: the epoch under way may already hold it.
void Receiver::JudgeLatest() {
    if (cycle_ == Cycle::Restarted && fixes_.Latest()) Judge(*fixes_.Latest());
}

void Receiver::SentenceRead(std::string_view sentence, bool intact) {
    if (!intact) {
        ++damaged_;
        return;
    }
    ++intact_;
    if (powerCycleOpen_ && !verdict_) {
        const double now = now_();
        if (power_ == Power::Off && now - poweredOffAt_ >= kPowerDrainS) {
            char text[112];
            std::snprintf(text, sizeof text,
                          "still talking with its power off (%.1f s after it was switched off)",
                          now - poweredOffAt_);
            EndRun(lab::Verdict::PowerError, std::string("power-error: ") + text, false, text);
            return;
        }
        // Its first sentence after the power came back: the restart is the power cycle itself.
        if (power_ == Power::Back && cycle_ == Cycle::Ordered) machine_->engine.ConfirmRestart();
    }
    if (const Epoch* closed = fixes_.Feed(sentence, now_())) Judge(*closed);
}

void Receiver::VerdictReached(quorvel::Verdict reached) {
    // One verdict per run: baud-mismatch repeats while it stands.
    if (finished_ || verdict_) return;
    const lab::Verdict verdict = Journaled(reached);
    const std::string name(NameOf(verdict));
    if (verdict != lab::Verdict::ShutDown) {
        const std::string trouble =
            verdict == lab::Verdict::CantConnect ? port_.ErrorReason() : "";
        std::string reason = trouble;
        // A hot start that kept its fix and its clock and said nothing shows no restart at all.
        if (verdict == lab::Verdict::NoRespond && orderStart_ == lab::Start::Hot)
            reason = "no sign of a restart after the hot start (no silence, start-up text or "
                     "loss of the fix)";
        if (verdict == lab::Verdict::NoRespond && powerCycleOpen_)
            reason = "nothing heard since its power came on";
        return EndRun(verdict, reason.empty() ? name : name + ": " + reason, true, trouble);
    }
    // Switched off after a restart: the cycle's row, with its restart time when its fix had
    // not come. The run stays open: a receiver back before the retry goes on.
    JudgeLatest();
    verdict_ = verdict;
    retryAt_ = now_() + given_.retryS;
    fixAwaitedSince_.reset();
    WriteRow(verdict);
    SetState(name, verdict);
}

void Receiver::CloseOpenCycle() {
    if (cycle_ != Cycle::Idle)
        WriteRow(cycle_ == Cycle::Restarted ? lab::Verdict::Ok : lab::Verdict::NoRespond);
}

void Receiver::WriteRow(lab::Verdict verdict, std::optional<double> ttff,
                        std::optional<int> satellites, const std::string& hdop,
                        std::optional<double> errorM, Cn0Reading cn0) {
    const bool open = cycle_ != Cycle::Idle;
    const Identity& id = tap_.reader.identity();
    Row row{UtcNow(), name_, ++cycles_, verdict, open ? restart_ : std::nullopt, ttff, satellites,
            hdop};
    row.start = StartName(open ? orderStart_ : NextStart());
    row.profile = profileName_;
    row.errorM = errorM ? std::optional(std::round(*errorM * 10) / 10) : std::nullopt;
    // As journaled.
    row.cn0 = cn0.cn0 ? std::optional(std::round(*cn0.cn0 * 10) / 10) : std::nullopt;
    row.cn0AgeS = cn0.cn0 && cn0.ageS ? std::optional(Tenth(*cn0.ageS)) : std::nullopt;
    row.ttffRule = ttffRule_;
    row.make = id.make;
    row.model = id.model;
    row.firmware = id.firmware;
    cycle_ = Cycle::Idle;
    restart_.reset();
    if (open && powerCycleOpen_) PowerCycleClosed();
    if (given_.cycles && cycles_ >= *given_.cycles) finished_ = true;
    if (rows_) rows_(row);
}

void Receiver::SetState(std::string state, std::optional<lab::Verdict> verdict) {
    if (state == state_) return;
    state_ = std::move(state);
    if (events_) events_({state_, verdict, {}, true});
}

}  // namespace quorvel::lab
