#pragma once

// The one harness of the suite: fakes for the display, the port and the settings file;
// sentences as receivers write them; a scripted receiver; and a Front that drives the real
// handlers of one window in simulated seconds, with the fake display or the real window.

#include <algorithm>
#include <cstdio>
#include <array>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "engine/Display.h"
#include "engine/RunState.h"
#include "engine/SerialPort.h"
#include "engine/StartStop.h"
#include "engine/TestEngine.h"
#include "link/Connection.h"
#include "link/SettingsStore.h"

namespace quorvel::testing {

inline std::string WithChecksum(const std::string& body) {
    unsigned char sum = 0;
    for (char c : body) sum ^= static_cast<unsigned char>(c);
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", sum);
    return "$" + body + "*" + hex;
}
// hhmmss.00 for a second of the day.
inline std::string ClockText(int second) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d%02d%02d.00", second / 3600 % 24, second / 60 % 60,
                  second % 60);
    return text;
}
inline std::string Gga(const std::string& time, const std::string& talker = "GP") {
    return WithChecksum(talker + "GGA," + time + ",4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
}
inline const std::string kTimelessGga = WithChecksum("GPGGA,,,,,,0,00,99.99,,,,,,");
inline std::string Line(const std::string& sentence) { return sentence + "\r\n"; }
inline const std::string kOrder = "$PXEMSRT,C*3A\r\n";
inline const std::string kNoRespond = "Cold Start fail!(1)\r\nGPS no respond.";
inline const std::string kPhase2 =
    "Cold Start OK!\r\nPlease stop the program then shut down the GPS now!\r\nIt will Cold Start again!";

class FakeDisplay : public Display {
  public:
    std::string status, label1, port = "COM 1", baud = "9600";
    std::vector<std::string> history, ports, bauds;
    bool keepHistory = true, frame5 = true, readOnly = false;
    Colour statusColour = Colour::ButtonFace, button = Colour::ButtonFace,
           selectors = Colour::WindowColour;
    std::array<bool, 4> timers{false, false, false, true};  // Timer1, Timer, Timer_Start, Timer_PF

    void SetStatusText(const std::string& text) override {
        status = text;
        if (keepHistory) history.push_back(text);
    }
    std::string StatusText() const override { return status; }
    void SetStatusColour(Colour colour) override { statusColour = colour; }
    void ShowStatus() override {}
    void SetStatusReadOnly() override { readOnly = true; }
    void SetLabel1(const std::string& text) override { label1 = text; }
    void SetStartButtonColour(Colour colour) override { button = colour; }
    void SetSelectorColours(Colour colour) override { selectors = colour; }
    void SetFrame5Enabled(bool enabled) override { frame5 = enabled; }
    void AddSelectorEntry(Selector s, const std::string& text) override {
        (s == Selector::ComPort_6 ? ports : bauds).push_back(text);
    }
    bool SelectSelectorEntry(Selector s, const std::string& text) override {
        const auto& entries = s == Selector::ComPort_6 ? ports : bauds;
        if (std::find(entries.begin(), entries.end(), text) == entries.end()) return false;
        (s == Selector::ComPort_6 ? port : baud) = text;
        return true;
    }
    std::string SelectedPort() const override { return port; }
    std::string SelectedBaud() const override { return baud; }
    void SetTimerEnabled(TimerId timer, bool enabled) override { timers[static_cast<int>(timer)] = enabled; }
    bool TimerEnabled(TimerId timer) const override { return timers[static_cast<int>(timer)]; }
};

// `pending` is what the receiver sent and the next Input returns; `written` every Output.
class FakeSerialPort : public SerialPort {
  public:
    std::int16_t commPort = 0;
    std::string settings, pending;
    bool open = false;
    int refuseOpenNumber = 0;  // refuses the n-th Open (1-based)
    int openCalls = 0;
    std::vector<std::string> written, calls;

    bool SetCommPort(std::int16_t number) override {
        calls.push_back("SetCommPort " + std::to_string(number));
        return !open && (commPort = number);
    }
    bool SetSettings(const std::string& value) override {
        calls.push_back("SetSettings " + value);
        return !(settings = value).empty();
    }
    bool Open() override {
        calls.push_back("Open");
        return !open && ++openCalls != refuseOpenNumber && (open = true);
    }
    void Close() override { calls.push_back("Close"), open = false; }
    bool IsOpen() const override { return open; }
    void DiscardInput() override { calls.push_back("DiscardInput"), pending.clear(); }
    std::string Input() override { return std::exchange(pending, {}); }
    bool Output(const std::string& text) override { return open && (written.push_back(text), true); }
};

class FakeSettings : public SettingsStore {
  public:
    std::vector<std::string> lines;  // every line written
    void ResetAttributes() override {}
    bool Read(std::string& port, std::string& baud) override { return (port = "COM 1", baud = "9600", true); }
    bool Write(const std::string& port, const std::string& baud) override {
        return lines.push_back(port + "," + baud), true;
    }
};

// Keeps every GGA sentence the engine analyses.
struct Recorder : EngineObserver {
    std::vector<std::string> analysed;
    void OrderSent(const std::string&) override {}
    void RestartConfirmed(std::int16_t) override {}
    void VerdictReached(Verdict) override {}
    void GgaAnalysed(std::string_view sentence, const GgaFields&) override {
        analysed.emplace_back(sentence);
    }
};

// What the receiver at the far end does, second by second.
struct Script {
    int clock = 12 * 3600;  // UTC second of the day at power-on
    int restartDelay = 3;   // silent seconds between noticing an order and 00:00:00
    int obey = -1;          // orders it obeys; -1 all of them
    int every = 1, offset = 0;  // reports in the seconds where (now - offset) % every == 0
    bool timeless = false;      // GGA without a time: no fix yet
    bool noise = false;         // what another baud rate looks like
    int offFrom = -1, offUntil = 1 << 30;  // switched off during [offFrom, offUntil)
    int split = 0;  // 0 a read per sentence, 1 reads cut after the checksum, 2 cut mid-sentence
};

class Receiver {
  public:
    explicit Receiver(Script script) : script_(script), clock_(script.clock) {}

    // `now` counts from the receiver's first second.
    std::vector<std::string> Second(int now, const std::vector<std::string>& written) {
        if (start_ < 0) start_ = now;
        now -= start_;
        for (; noticed_ < written.size(); ++noticed_) {
            if (written[noticed_] == kOrder && (script_.obey < 0 || obeyed_ < script_.obey)) {
                ++obeyed_;
                restartAt_ = now + script_.restartDelay;
            }
        }
        const int clock = clock_;
        clock_ = (clock_ + 1) % 86400;
        if (script_.offFrom >= 0 && now >= script_.offFrom && now < script_.offUntil) return {};
        if (restartAt_ >= 0) {
            if (now < restartAt_) return {};
            restartAt_ = -1;
            clock_ = 1;
            return Split(0);
        }
        if ((now - script_.offset) % script_.every != 0) return {};
        return Split(clock);
    }

  private:
    std::vector<std::string> Split(int clock) {
        if (script_.noise) {
            std::string bytes(60, '\0');
            for (char& c : bytes) c = static_cast<char>(random_() & 0xFF);
            return {bytes};
        }
        const std::string time = ClockText(clock);
        const std::vector<std::string> lines = {
            Line(script_.timeless ? kTimelessGga : Gga(time)),
            Line(WithChecksum("GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1")),
            Line(WithChecksum("GPRMC," + time + ",A,4807.038,N,01131.000,E,022.4,084.4,230394,,"))};
        std::string all;
        for (const auto& line : lines) all += line;
        if (script_.split == 2) return {all.substr(0, 20), all.substr(20)};
        if (script_.split == 0) return lines;
        std::vector<std::string> reads;  // each read ends right behind a checksum
        std::size_t from = 0;
        for (std::size_t star = all.find('*'); star != std::string::npos;
             star = all.find('*', star + 1)) {
            reads.push_back(all.substr(from, star + 3 - from));
            from = star + 3;
        }
        reads.push_back(all.substr(from));
        return reads;
    }

    Script script_;
    int clock_;
    int restartAt_ = -1, obeyed_ = 0, start_ = -1;
    std::size_t noticed_ = 0;
    std::mt19937 random_{20240607};
};

// In which order Timer_Start and Timer_PF tick when they fall due in the same second.
enum class TickOrder { StartFirst, PfFirst, Alternate };

// One window's handlers, driven by hand. Subclasses wire them to the fakes or to the window.
class Front {
  public:
    virtual ~Front() = default;
    virtual RunState& State() = 0;
    virtual FakeSerialPort& Port() = 0;
    virtual void Click() = 0;
    virtual bool On(TimerId timer) = 0;
    virtual void Tick(TimerId timer) = 0;  // runs the tick handler if the timer is on
    virtual void PortEvent(std::int16_t kind) = 0;
    virtual std::string Status() = 0;
    virtual Colour StatusColour() = 0;
    virtual std::string Label() = 0;
    virtual const std::vector<std::string>& Seen() = 0;  // every status text, in order

    int now = 0;
    std::vector<int> orders, confirmations;  // the seconds they happened in
    std::size_t largestBuffer = 0;

    void Receive(std::string text) {
        Port().pending += std::move(text);
        const int phase = State().Phase;
        PortEvent(comm_event::kReceive);
        if (phase == 1 && State().Phase == 2) confirmations.push_back(now);
        largestBuffer = std::max(largestBuffer, State().RxBuffer.size());
    }
    // The receiver's reads while the port is open, then the ticks of the timers that were on
    // before the ticks began: a timer switched on during them first ticks a second later.
    void Second(Receiver* receiver, TickOrder order = TickOrder::StartFirst) {
        const std::size_t before = Port().written.size();
        if (receiver) {
            for (const auto& read : receiver->Second(now, Port().written))
                if (Port().IsOpen()) Receive(read);
        }
        const bool startFirst =
            order == TickOrder::StartFirst || (order == TickOrder::Alternate && now % 2 == 0);
        std::vector<TimerId> due;
        for (TimerId t : {TimerId::Timer1, TimerId::Timer, startFirst ? TimerId::Timer_Start : TimerId::Timer_PF,
                          startFirst ? TimerId::Timer_PF : TimerId::Timer_Start})
            if (On(t)) due.push_back(t);
        for (TimerId t : due) Tick(t);
        for (std::size_t i = before; i < Port().written.size(); ++i) orders.push_back(now);
        ++now;
    }
    void Run(int seconds, Receiver* receiver, TickOrder order = TickOrder::StartFirst) {
        for (int i = 0; i < seconds; ++i) Second(receiver, order);
    }
    int SeenStarting(const std::string& prefix) {
        return static_cast<int>(std::count_if(Seen().begin(), Seen().end(), [&](const auto& s) {
            return s.rfind(prefix, 0) == 0;
        }));
    }
};

// Timer1, Timer, Timer_Start, Timer_PF: a letter when running, "-" when not.
inline std::string Timers(Front& f) {
    std::string on;
    for (auto [timer, letter] : {std::pair{TimerId::Timer1, '1'}, {TimerId::Timer, 'T'},
                                 {TimerId::Timer_Start, 'S'}, {TimerId::Timer_PF, 'P'}})
        on += f.On(timer) ? letter : '-';
    return on;
}

// Form1's handlers without a window, at their start-up values.
class EngineFront : public Front {
  public:
    RunState state;
    FakeDisplay display;
    FakeSerialPort port;
    FakeSettings settings;
    TestEngine engine{state, display, port};
    StartStop startStop{state, display, port, engine};
    Connection connection{state, display, port, settings};

    explicit EngineFront(CycleSettings cycle = {}) : engine(state, display, port, cycle) {
        display.label1 = "Not connected!";
    }

    RunState& State() override { return state; }
    FakeSerialPort& Port() override { return port; }
    void Click() override { startStop.Cmd_Start_1_Click(); }
    bool On(TimerId timer) override { return display.TimerEnabled(timer); }
    void Tick(TimerId timer) override {
        if (!On(timer)) return;
        switch (timer) {
            case TimerId::Timer1: connection.Timer1_Tick(); break;
            case TimerId::Timer: connection.Timer_Tick(); break;
            case TimerId::Timer_Start: engine.Timer_Start_Tick(); break;
            case TimerId::Timer_PF: engine.Timer_PF_Tick(); break;
        }
    }
    void PortEvent(std::int16_t kind) override { engine.HandlePortEvent(kind); }
    std::string Status() override { return display.status; }
    Colour StatusColour() override { return display.statusColour; }
    std::string Label() override { return display.label1; }
    const std::vector<std::string>& Seen() override { return display.history; }
};

}  // namespace quorvel::testing
