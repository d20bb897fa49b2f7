#include "lab/Receiver.h"

#include <cmath>
#include <utility>
#include <vector>

#include "engine/GgaTime.h"

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

// GGA fields 6 to 8 (fix quality, satellites, HDOP), each up to its comma or "*".
std::vector<std::string> FixFields(std::string_view sentence) {
    std::vector<std::string> fields;
    std::size_t index = 0;
    std::string field;
    for (char c : sentence) {
        if (c == ',' || c == '*') {
            if (index >= 6 && index <= 8) fields.push_back(field);
            if (c == '*' || ++index > 8) break;
            field.clear();
        } else {
            field += c;
        }
    }
    return fields;
}

double Tenth(double seconds) { return std::round(seconds * 10) / 10; }

}  // namespace

Receiver::Receiver(const PortSpec& given, SerialPort& port, const Settings& settings, Clock clock,
                   RowSink rows, EventSink events)
    : name_(given.name),
      port_(port),
      engine_(run_, display_, port_,
              {static_cast<std::int16_t>(settings.interval), settings.order, this}),
      startStop_(run_, display_, port_, engine_),
      connection_(run_, display_, port_, settings_,
                  {static_cast<std::int16_t>(settings.interval), settings.order, this}),
      retryS_(settings.retryS),
      cycleLimit_(settings.cycles),
      now_(std::move(clock)),
      rows_(std::move(rows)),
      events_(std::move(events)) {
    // A device path opens through any COM number; the port adapter resolves it.
    display_.port = "COM " + std::to_string(given.com ? given.com : 1);
    display_.baud = given.baud;
}

void Receiver::Start() {
    verdict_.reset();
    retryAt_.reset();
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

    // A run that fell silent before its first order ends without a verdict, all timers off.
    if (!verdict_ && !Idle()) return;
    if (!retryAt_) {
        retryAt_ = now_() + retryS_;
        if (!verdict_) SetState("silent");
    } else if (now_() >= *retryAt_) {
        CloseCycle();
        if (events_) events_("retry");
        Start();
    }
}

bool Receiver::Idle() const {
    for (TimerId timer : kTimers) {
        if (display_.TimerEnabled(timer)) return false;
    }
    return true;
}

void Receiver::HandlePortEvent(std::int16_t kind) {
    if (!finished_) engine_.HandlePortEvent(kind);
}

void Receiver::Finish() {
    if (!finished_) CloseCycle();
    finished_ = true;
    if (port_.IsOpen()) port_.Close();
    for (TimerId timer : kTimers) display_.SetTimerEnabled(timer, false);
    SetState("done");
}

void Receiver::OrderSent(const std::string&) {
    if (finished_) return;
    CloseCycle();
    orderAt_ = now_();
    restart_.reset();
    SetState("restarting");
}

void Receiver::RestartConfirmed(std::int16_t) {
    if (finished_ || !orderAt_) return;
    restart_ = Tenth(now_() - *orderAt_);
    lastRestart_ = restart_;
    SetState("waiting for fix");
}

void Receiver::GgaAnalysed(std::string_view sentence) {
    if (finished_) return;
    if (verdict_ == Verdict::ShutDown) {
        // Back after a shut-down: the run goes on, as the window's does.
        verdict_.reset();
        retryAt_.reset();
        SetState("resumed");
    }
    if (!orderAt_ || !restart_) return;
    const std::vector<std::string> fields = FixFields(sentence);
    if (fields.empty() || fields[0].empty() || LeadingNumber(fields[0]) < 1) return;
    std::optional<int> satellites;
    if (fields.size() > 1 && !fields[1].empty())
        satellites = static_cast<int>(LeadingNumber(fields[1]));
    const double ttff = Tenth(now_() - *orderAt_);
    lastTtff_ = ttff;
    Record("ok", ttff, satellites, fields.size() > 2 ? fields[2] : "");
    SetState("fix");
}

void Receiver::VerdictReached(Verdict verdict) {
    // One verdict per run: baud-mismatch repeats while it stands.
    if (finished_ || verdict_) return;
    verdict_ = verdict;
    // A shut-down after a confirmed restart without a fix yet is that cycle's row, with its
    // restart time; every other verdict is a row of its own.
    Record(VerdictName(verdict));
    SetState(VerdictName(verdict));
}

void Receiver::CloseCycle() {
    if (orderAt_ && restart_) Record("ok");
    orderAt_.reset();
    restart_.reset();
}

void Receiver::Record(const std::string& verdict, std::optional<double> ttff,
                      std::optional<int> satellites, const std::string& hdop) {
    Row row{UtcNow(), name_, ++cycles_, verdict, restart_, ttff, satellites, hdop};
    orderAt_.reset();
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
