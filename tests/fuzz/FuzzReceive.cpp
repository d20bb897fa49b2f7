// The receive path under arbitrary bytes in arbitrary reads, with the cycle timers ticking
// between reads. The input's tail steers the reads and the ticks; its front is the line data,
// so a capture used as a seed is mostly played as it was recorded.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/RunState.h"
#include "engine/TestEngine.h"
#include "engine/Texts.h"
#include "support/FakeDisplay.h"
#include "support/FakeSerialPort.h"

namespace {

using quorvel::RunState;
using quorvel::TestEngine;
using quorvel::TimerId;
namespace comm_event = quorvel::comm_event;

void Require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

// Records every GGA sentence the engine analyses. An analysed sentence shows exactly one
// "Connected!" caption, or the waiting text when it comes before the first order; both happen
// while RunState::Sentence still holds it.
class RecordingDisplay : public quorvel::testing::FakeDisplay {
  public:
    explicit RecordingDisplay(const RunState& state) : state_(state) {}

    std::vector<std::string> analysed;

    void SetStatusText(const std::string& text) override {
        status = text;  // no history: a long input must not grow memory without bound
        if (text == quorvel::texts::kWaiting) Note();
    }
    void SetLabel1(const std::string& text) override {
        label1 = text;
        Note();
    }

  private:
    void Note() {
        if (!state_.Sentence.empty()) analysed.push_back(state_.Sentence);
    }
    const RunState& state_;
};

struct Window {
    RunState state;
    RecordingDisplay display{state};
    quorvel::testing::FakeSerialPort port;
    TestEngine engine{state, display, port};

    Window() {
        // A run under way: the connection step has set the countdown and started the watchdog.
        state.RestartCountdown = 30;
        port.open = true;
    }

    void Receive(const std::string& text) {
        port.pending += text;
        engine.HandlePortEvent(comm_event::kReceive);
        CheckState();
    }

    void Tick(bool startFirst) {
        const TimerId first = startFirst ? TimerId::Timer_Start : TimerId::Timer_PF;
        const TimerId second = startFirst ? TimerId::Timer_PF : TimerId::Timer_Start;
        TickIfOn(first);
        TickIfOn(second);
        CheckState();
    }

    void TickIfOn(TimerId timer) {
        if (!display.On(timer)) return;
        if (timer == TimerId::Timer_Start) engine.Timer_Start_Tick();
        if (timer == TimerId::Timer_PF) engine.Timer_PF_Tick();
    }

    void CheckState() const {
        Require(state.Phase >= 0 && state.Phase <= 2, "Phase in 0..2");
        Require(state.ReceiveTick >= 0 && state.ReceiveTick <= 1000, "ReceiveTick in 0..1000");
        Require(state.BaudCheckSeconds >= 0 && state.BaudCheckSeconds <= 9,
                "BaudCheckSeconds in 0..9");
        Require(state.RxBuffer.size() <= quorvel::kMaxUnfinishedSentence, "RxBuffer bounded");
        Require(state.Sentence.empty(), "Sentence empty between events");
        for (const auto& written : port.written) {
            Require(written == quorvel::texts::kColdStartOrder, "only the cold-start order");
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    Window chunked;
    std::string all;

    while (input.remaining_bytes() > 0) {
        // The tail steers: how long the next read is, how many seconds pass after it, and in
        // which order the two timers tick when they fall due together.
        const std::uint8_t steer = input.ConsumeIntegral<std::uint8_t>();
        const std::size_t length = input.ConsumeIntegralInRange<std::size_t>(0, 255);
        // Now and then the read repeats its text, so that small inputs reach past the bound
        // of an unfinished sentence.
        const int repeat = (steer & 0x80) ? input.ConsumeIntegralInRange<int>(1, 128) : 1;
        const int seconds = (steer & 0x40) ? (steer & 0x3F) : (steer & 0x03);
        const bool startFirst = steer & 0x01;
        if (steer == 0x3F) chunked.engine.HandlePortEvent(comm_event::kCts);  // not a read

        const std::string piece = input.ConsumeBytesAsString(length);
        std::string read;
        for (int i = 0; i < repeat; ++i) read += piece;
        all += read;
        chunked.Receive(read);
        for (int i = 0; i < seconds; ++i) chunked.Tick(startFirst);
    }

    // However the line was cut and whatever the timers did, the same GGA sentences are
    // analysed, each once, as when every byte comes in one read.
    Window whole;
    whole.Receive(all);
    Require(chunked.display.analysed == whole.display.analysed,
            "same sentences in reads as in one piece");
    return 0;
}
