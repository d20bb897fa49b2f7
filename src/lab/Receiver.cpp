#include "lab/Receiver.h"

#include <cmath>
#include <utility>

namespace quorvel::lab {
namespace {

constexpr TimerId kTimers[] = {TimerId::Timer1, TimerId::Timer, TimerId::Timer_Start,
                               TimerId::Timer_PF};

const char* VerdictName(Verdict verdict) {
    switch (verdict) {
        case Verdict::NoRespond:
            return "no-respond";
        case Verdict::ShutDown:
            return "shut-down";
        case Verdict::BaudMismatch:
            return "baud-mismatch";
        case Verdict::CantConnect:
            return "cant-connect";
    }
    return "";
}

double Tenth(double seconds) { return std::round(seconds * 10) / 10; }

CycleSettings EngineSettings(const Receiver::Settings& s, EngineObserver* observer) {
    return {.countdown = static_cast<std::int16_t>(s.interval),
            .order = s.order,
            .orderTurns = s.orderTurns,
            .observer = observer,
            .sign = s.sign,
            .checkSums = true,
            .startUpTexts = s.startUpTexts};
}

}  // namespace

Receiver::Receiver(const PortSpec& given, SerialPort& port, const Settings& settings, Clock clock,
                   RowSink rows, EventSink events)
    : name_(given.name),
      port_(port),
      engine_(run_, display_, port_, EngineSettings(settings, this)),
      startStop_(run_, display_, port_, engine_),
      connection_(run_, display_, port_, settings_, EngineSettings(settings, this)),
      retryS_(settings.retryS),
      fixLimitS_(settings.fixLimitS),
      cycleLimit_(settings.cycles),
      fixDueS_(settings.fixDueS),
      now_(std::move(clock)),
      rows_(std::move(rows)),
      events_(std::move(events)) {
    // A device path opens through any COM number; the port adapter resolves it.
    display_.port = "COM " + std::to_string(given.com ? given.com : 1);
    display_.baud = given.baud;
}

void Receiver::Start() {
    CloseOpenCycle();
    verdict_.reset();
    retryAt_.reset();
    fixAwaitedSince_ = now_();
    orderUnfixed_ = false;
    // A click on a run with a verdict only clears it; the next one starts.
    startStop_.Cmd_Start_1_Click();
    if (!display_.TimerEnabled(TimerId::Timer1)) startStop_.Cmd_Start_1_Click();
    SetState("connecting");
}

void Receiver::Tick() {
    if (finished_) {
        Finish();  // one that reached its cycles inside a handler is stopped here
        return;
    }
    bool due[4];
    for (int i = 0; i < 4; ++i) due[i] = display_.TimerEnabled(kTimers[i]);
    // A timer that an earlier handler of this second turned off does not run.
    if (due[0] && display_.TimerEnabled(TimerId::Timer1)) connection_.Timer1_Tick();
    if (due[1] && display_.TimerEnabled(TimerId::Timer)) connection_.Timer_Tick();
    if (due[2] && display_.TimerEnabled(TimerId::Timer_Start)) engine_.Timer_Start_Tick();
    if (due[3] && display_.TimerEnabled(TimerId::Timer_PF)) engine_.Timer_PF_Tick();
    if (!verdict_) WatchFixWait();

    // A run that fell silent before its first order ends without a verdict, all timers off.
    if (!verdict_ && !Idle()) return;
    if (!retryAt_) {
        retryAt_ = now_() + retryS_;
        if (!verdict_) SetState("silent");
    }
    // The tick nearest to the retry time, not the first one after it: ticks come a second
    // apart, and the first one after would make a retry of S last up to S + 1 seconds.
    if (now_() < *retryAt_ - 0.5) return;
    if (events_) events_("retry");
    Start();
}

// Every state that can last ends in a row: a receiver that never gets the fix the cycle
// waits for (no time at all, a fix that never comes back, a countdown that waits for a fix).
void Receiver::WatchFixWait() {
    if (!fixAwaitedSince_ && run_.Phase == 2 && run_.RestartCountdown <= 0)
        fixAwaitedSince_ = now_();
    // While an order awaits its restart, the no-respond watchdog speaks: a deaf receiver is
    // no-respond whatever the fix limit.
    if (cycle_ == Cycle::Ordered) return;
    if (!fixAwaitedSince_ || now_() - *fixAwaitedSince_ < fixLimitS_) return;
    const std::string event = "no-fix for " + std::to_string(fixLimitS_) + " s";
    EndRun("no-fix", fixWithoutTime_ ? event + ": no time in its GGA" : event);
}

void Receiver::EndRun(const std::string& verdict, const std::string& event) {
    verdict_ = verdict;
    retryAt_ = now_() + retryS_;
    fixAwaitedSince_.reset();
    WriteRow(verdict);
    if (port_.IsOpen()) port_.Close();
    for (TimerId timer : kTimers) display_.SetTimerEnabled(timer, false);
    if (events_ && event != verdict) events_(event);
    if (events_ && intact_ == 0 && damaged_ > 0)
        events_("every sentence damaged (" + std::to_string(damaged_) + ")");
    SetState(verdict);
}

bool Receiver::Idle() const {
    for (TimerId timer : kTimers) {
        if (display_.TimerEnabled(timer)) return false;
    }
    return true;
}

void Receiver::HandlePortEvent(std::int16_t kind) {
    if (finished_) return;
    if (kind == comm_event::kDeviceFailure) {
        // The device failed under the run: the port's fault, not the receiver's.
        if (!verdict_) EndRun("port-error", "port-error: " + port_.ErrorReason());
        return;
    }
    // A run ended on a verdict hears nothing until its retry: a late answer belongs to an order
    // that already has its row. Only a receiver back after a shut-down goes on.
    if (verdict_ && *verdict_ != "shut-down") return;
    engine_.HandlePortEvent(kind);
}

void Receiver::Finish() {
    if (!finished_ && cycle_ != Cycle::Idle) {
        // Cut by the end of the run: judged, as a failure, only when its fix was already due.
        const bool due = fixDueS_ && now_() - orderAt_ >= *fixDueS_;
        WriteRow(!due ? "ended" : cycle_ == Cycle::Restarted ? "ok" : "no-respond");
    }
    finished_ = true;
    if (port_.IsOpen()) port_.Close();
    for (TimerId timer : kTimers) display_.SetTimerEnabled(timer, false);
    SetState("done");
}

bool Receiver::OrdersWanted() const {
    // Closing the open cycle may write the last row; no order may follow it.
    const int rowsBefore = cycles_ + (cycle_ != Cycle::Idle ? 1 : 0);
    return !finished_ && !(cycleLimit_ && rowsBefore >= *cycleLimit_);
}

void Receiver::OrderSent(const std::string&) {
    CloseOpenCycle();
    cycle_ = Cycle::Ordered;
    orderAt_ = now_();
    restart_.reset();
    if (!orderUnfixed_ || !fixAwaitedSince_) fixAwaitedSince_ = orderAt_;
    orderUnfixed_ = true;
    SetState("restarting");
}

void Receiver::RestartConfirmed(std::int16_t) {
    if (cycle_ != Cycle::Ordered) return;
    cycle_ = Cycle::Restarted;
    restart_ = Tenth(now_() - orderAt_);
    lastRestart_ = restart_;
    SetState("waiting for fix");
}

void Receiver::GgaAnalysed(std::string_view, const GgaFields& gga) {
    if (finished_) return;
    if (verdict_ == "shut-down") {
        // Back after a shut-down: the run goes on, as the window's does, but with its
        // watchdog on again, or an order it then ignores would never get a verdict.
        verdict_.reset();
        retryAt_.reset();
        display_.SetTimerEnabled(TimerId::Timer_PF, true);
        SetState("resumed");
    }
    if (cycle_ != Cycle::Restarted || !gga.HasFix()) return;
    const double ttff = Tenth(now_() - orderAt_);
    lastTtff_ = ttff;
    orderUnfixed_ = false;
    fixAwaitedSince_.reset();
    WriteRow("ok", ttff, gga.satellites, gga.hdop);
    SetState("fix");
}

void Receiver::SentenceRead(std::string_view sentence, bool intact) {
    if (!intact) {
        ++damaged_;
        return;
    }
    ++intact_;
    if (sentence.size() > 6 && sentence.substr(3, 3) == "GGA") {
        const GgaFields gga = ReadGga(sentence);
        fixWithoutTime_ = gga.HasFix() && !gga.hasTime;
    }
}

void Receiver::VerdictReached(Verdict verdict) {
    // One verdict per run: baud-mismatch repeats while it stands.
    if (finished_ || verdict_) return;
    const std::string name = VerdictName(verdict);
    if (verdict != Verdict::ShutDown) {
        const std::string reason = verdict == Verdict::CantConnect ? port_.ErrorReason() : "";
        return EndRun(name, reason.empty() ? name : name + ": " + reason);
    }
    // Switched off after a restart: the cycle's row, with its restart time when its fix had
    // not come. The run stays open: a receiver back before the retry goes on.
    verdict_ = name;
    retryAt_ = now_() + retryS_;
    fixAwaitedSince_.reset();
    WriteRow(name);
    SetState(name);
}

void Receiver::CloseOpenCycle() {
    if (cycle_ != Cycle::Idle) WriteRow(cycle_ == Cycle::Restarted ? "ok" : "no-respond");
}

void Receiver::WriteRow(const std::string& verdict, std::optional<double> ttff,
                        std::optional<int> satellites, const std::string& hdop) {
    const bool open = cycle_ != Cycle::Idle;
    Row row{UtcNow(), name_, ++cycles_, verdict, open ? restart_ : std::nullopt, ttff, satellites,
            hdop};
    cycle_ = Cycle::Idle;
    restart_.reset();
    if (cycleLimit_ && cycles_ >= *cycleLimit_) finished_ = true;
    if (rows_) rows_(row);
}

void Receiver::SetState(std::string state) {
    if (state == state_) return;
    state_ = std::move(state);
    if (events_) events_(state_);
}

}  // namespace quorvel::lab
