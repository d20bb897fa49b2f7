#pragma once

#include <cstddef>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "engine/NmeaText.h"
#include "engine/RunState.h"
#include "engine/StartStop.h"
#include "engine/StatusTexts.h"
#include "engine/TestEngine.h"
#include "engine/Texts.h"
#include "support/FakeDisplay.h"
#include "support/FakeSerialPort.h"

namespace quorvel::testing {

// Where the port cuts the receiver's output of one second into reads.
enum class ReadSplit {
    AtSentenceEnd,  // every read ends after a sentence's CR LF
    AfterChecksum,  // every read ends right after the two checksum characters
    MidSentence,    // the second's output comes in two reads cut inside the first sentence
};

struct ReceiverScript {
    int clockAtPowerOn = 12 * 3600;   // UTC second of the day
    int restartDelay = 3;             // silent seconds between an order and the time 00:00:00
    int restartsObeyed = -1;          // orders it obeys; -1 all of them, 0 none
    int reportEvery = 1;              // seconds between two outputs
    int reportOffset = 0;             // second (modulo reportEvery) in which it reports
    bool emptyTimeFields = false;     // no fix and no time: GGA with an empty time field
    bool garbageAtWrongRate = false;  // what a receiver at another baud rate looks like
    int powerOffAt = -1;              // simulated second from which it stays silent; -1 never
    ReadSplit split = ReadSplit::AtSentenceEnd;
};

// A receiver on the far end of the fake port: one output per second, obeys the cold-start
// order it finds written to the port by falling silent and restarting its clock at 00:00:00.
class ScriptedReceiver {
public:
    ScriptedReceiver(ReceiverScript script, FakeSerialPort& port)
        : script_(script), port_(port), clock_(script.clockAtPowerOn) {}

    // The reads the port delivers during simulated second `now`.
    std::vector<std::string> Second(int now) {
        NoticeOrders(now);
        const int clock = clock_;
        clock_ = (clock_ + 1) % 86400;
        if (script_.powerOffAt >= 0 && now >= script_.powerOffAt) return {};
        if (restartAt_ >= 0) {
            if (now < restartAt_) return {};
            restartAt_ = -1;
            clock_ = 1;
            return Split(Output(0));
        }
        if ((now - script_.reportOffset) % script_.reportEvery != 0) return {};
        return Split(Output(clock));
    }

    int OrdersObeyed() const { return obeyed_; }

private:
    void NoticeOrders(int now) {
        for (; ordersSeen_ < port_.written.size(); ++ordersSeen_) {
            if (port_.written[ordersSeen_] != texts::kColdStartOrder) continue;
            if (script_.restartsObeyed >= 0 && obeyed_ >= script_.restartsObeyed) continue;
            ++obeyed_;
            restartAt_ = now + script_.restartDelay;
        }
    }

    std::vector<std::string> Output(int clock) {
        if (script_.garbageAtWrongRate) {
            std::string noise;
            for (int i = 0; i < 60; ++i) noise += static_cast<char>(noise_() & 0xFF);
            return {noise};
        }
        const std::string time = ClockText(clock);
        return {Line(script_.emptyTimeFields ? EmptyTimeGga() : Gga(time)), Line(Gsa()),
                Line(Rmc(time))};
    }

    std::vector<std::string> Split(const std::vector<std::string>& lines) const {
        std::string all;
        for (const auto& line : lines) all += line;
        switch (script_.split) {
            case ReadSplit::AtSentenceEnd:
                return lines;
            case ReadSplit::AfterChecksum: {
                std::vector<std::string> reads;
                std::string carry;
                for (const auto& line : lines) {
                    const auto end = line.rfind('*');
                    if (end == std::string::npos || end + 3 > line.size()) {
                        carry += line;
                        continue;
                    }
                    reads.push_back(carry + line.substr(0, end + 3));
                    carry = line.substr(end + 3);
                }
                if (!carry.empty()) reads.push_back(carry);
                return reads;
            }
            case ReadSplit::MidSentence:
                return {all.substr(0, 20), all.substr(20)};
        }
        return lines;
    }

    ReceiverScript script_;
    FakeSerialPort& port_;
    int clock_;
    int restartAt_ = -1;
    int obeyed_ = 0;
    std::size_t ordersSeen_ = 0;
    std::mt19937 noise_{20240607};
};

// In which order the two cycle timers tick when they fall due in the same second.
enum class TimerOrder { StartFirst, PfFirst, Alternate };

// The main window without a window: the engine, the start/stop button, the four timers
// ticked once per simulated second, and a record of what happened when.
class SimulatedWindow {
public:
    RunState state;
    FakeDisplay display;
    FakeSerialPort port;
    TestEngine engine{state, display, port};
    StartStop startStop{state, display, port, engine};

    // The connection step and the probe belong to the link; a soak test plugs the real
    // ones in here. The stand-in step opens the port and starts the watchdogs.
    std::function<void()> timer1Tick = [this] { StandInConnectionStep(); };
    std::function<void()> timerTick = [] {};

    int now = 0;
    std::vector<int> orderSeconds;
    std::vector<int> confirmationSeconds;
    std::size_t largestRxBuffer = 0;
    bool keepStatusHistory = true;

    SimulatedWindow() { display.SetLabel1(std::string(texts::kNotConnected)); }

    // One receive event whose read delivers `text`.
    void Receive(const std::string& text) {
        port.pending += text;
        engine.HandlePortEvent(comm_event::kReceive);
        if (state.RxBuffer.size() > largestRxBuffer) largestRxBuffer = state.RxBuffer.size();
    }

    void Click() { startStop.Cmd_Start_1_Click(); }

    // One second: the receiver's reads (only while the port is open), then the ticks of the
    // timers that are enabled at the moment their tick comes.
    void Second(ScriptedReceiver* receiver, TimerOrder order = TimerOrder::StartFirst) {
        const std::size_t ordersBefore = port.written.size();
        const std::size_t historyBefore = display.statusHistory.size();
        if (receiver) {
            for (const auto& read : receiver->Second(now)) {
                if (port.IsOpen()) Receive(read);
            }
        }
        Tick(TimerId::Timer1);
        Tick(TimerId::Timer);
        const bool startFirst =
            order == TimerOrder::StartFirst || (order == TimerOrder::Alternate && now % 2 == 0);
        Tick(startFirst ? TimerId::Timer_Start : TimerId::Timer_PF);
        Tick(startFirst ? TimerId::Timer_PF : TimerId::Timer_Start);
        Record(ordersBefore, historyBefore);
        ++now;
    }

    void Run(int seconds, ScriptedReceiver* receiver, TimerOrder order = TimerOrder::StartFirst) {
        for (int i = 0; i < seconds; ++i) Second(receiver, order);
    }

    void Tick(TimerId timer) {
        if (!display.On(timer)) return;
        switch (timer) {
            case TimerId::Timer1:
                timer1Tick();
                break;
            case TimerId::Timer:
                timerTick();
                break;
            case TimerId::Timer_Start:
                engine.Timer_Start_Tick();
                break;
            case TimerId::Timer_PF:
                engine.Timer_PF_Tick();
                break;
        }
    }

    void StandInConnectionStep() {
        if (state.ConnectTicks == 0) {
            port.Open();
            display.SetLabel1(std::string(texts::kConnecting));
            state.RestartCountdown = 30;
            state.TextReceived = false;
            display.SetTimerEnabled(TimerId::Timer, true);
            display.SetTimerEnabled(TimerId::Timer_PF, true);
            display.SetTimerEnabled(TimerId::Timer1, false);
        }
        ++state.ConnectTicks;
    }

    static bool IsConfirmation(const std::string& status) {
        const std::string ok(texts::kColdStartOk);
        return status.starts_with(texts::kUtcTime) && status.ends_with(ok);
    }

private:
    void Record(std::size_t ordersBefore, std::size_t historyBefore) {
        for (std::size_t i = ordersBefore; i < port.written.size(); ++i)
            orderSeconds.push_back(now);
        for (std::size_t i = historyBefore; i < display.statusHistory.size(); ++i) {
            if (IsConfirmation(display.statusHistory[i])) confirmationSeconds.push_back(now);
        }
        if (!keepStatusHistory) display.statusHistory.clear();
    }
};

}  // namespace quorvel::testing
