// The receive path under arbitrary bytes in arbitrary reads, with the cycle timers ticking in
// between. The input's tail steers the reads and ticks; its front is the line data, so a capture
// used as a seed plays mostly as it was recorded.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>

#include "support/Harness.h"

namespace {

using namespace quorvel;

void Require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

struct Recorder : EngineObserver {
    std::vector<std::string> analysed;
    void OrderSent(const std::string& order) override { Require(order == texts::kColdStartOrder, "only the order"); }
    void RestartConfirmed(std::int16_t) override {}
    void VerdictReached(Verdict) override {}
    void GgaAnalysed(std::string_view sentence) override { analysed.emplace_back(sentence); }
};

struct Run {
    RunState state{.RestartCountdown = 30};  // a run under way, as after the connection step
    testing::FakeDisplay display;
    testing::FakeSerialPort port;
    Recorder recorder;
    TestEngine engine{state, display, port, CycleSettings{.observer = &recorder}};

    Run() {
        display.keepHistory = false;
        port.open = true;
    }
    void Receive(const std::string& text) {
        port.pending = text;
        engine.HandlePortEvent(comm_event::kReceive);
        Require(state.Phase >= 0 && state.Phase <= 2, "Phase in 0..2");
        Require(state.ReceiveTick >= 0 && state.ReceiveTick <= 1000, "ReceiveTick in 0..1000");
        Require(state.BaudCheckSeconds >= 0 && state.BaudCheckSeconds <= 9, "BaudCheckSeconds in 0..9");
        Require(state.RxBuffer.size() <= kMaxUnfinishedSentence, "RxBuffer bounded");
        Require(state.Sentence.empty(), "Sentence empty between events");
    }
    void Tick(TimerId timer) {
        if (!display.TimerEnabled(timer)) return;
        timer == TimerId::Timer_Start ? engine.Timer_Start_Tick() : engine.Timer_PF_Tick();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    Run chunked;
    std::string all;
    while (input.remaining_bytes() > 0) {
        const std::uint8_t steer = input.ConsumeIntegral<std::uint8_t>();
        const std::string piece = input.ConsumeBytesAsString(input.ConsumeIntegralInRange<std::size_t>(0, 255));
        // One read in sixteen repeats its text, so that small inputs reach past the bound.
        std::string read;
        for (int i = (steer & 0xF0) == 0xF0 ? 1 + (steer & 0x0F) : 1; i > 0; --i) read += piece;
        all += read;
        if (steer == 0x3F) chunked.engine.HandlePortEvent(comm_event::kCts);  // not a read
        chunked.Receive(read);
        for (int second = (steer >> 5) & 0x03; second > 0; --second) {
            chunked.Tick(steer & 1 ? TimerId::Timer_Start : TimerId::Timer_PF);
            chunked.Tick(steer & 1 ? TimerId::Timer_PF : TimerId::Timer_Start);
        }
    }
    // However the line was cut and whatever the timers did, the same sentences are analysed,
    // each once, as when every byte comes in one read. Checked on one input in eight: the
    // reference run costs as much as the fuzzed one.
    if (size % 8 == 0) {
        Run whole;
        whole.Receive(all);
        Require(chunked.recorder.analysed == whole.recorder.analysed, "same sentences in reads as in one piece");
    }
    return 0;
}
