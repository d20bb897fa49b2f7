// The receive path under arbitrary bytes in arbitrary reads, with the cycle timers ticking in
// between. The input's tail steers the reads and ticks; its front is the line data, so a capture
// used as a seed plays mostly as it was recorded.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>

#include "support/Harness.h"

namespace {

using namespace quorvel;
using testing::EngineFront;

void Require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

// A run under way, as after the connection step.
void Prepare(EngineFront& f) {
    f.display.keepHistory = false;
    f.port.open = true;
    f.state.RestartCountdown = 30;
}

void Receive(EngineFront& f, std::string text) {
    f.Receive(std::move(text));
    const RunState& s = f.state;
    Require(s.Phase >= 0 && s.Phase <= 2, "Phase in 0..2");
    Require(s.ReceiveTick >= 0 && s.ReceiveTick <= 1000, "ReceiveTick in 0..1000");
    Require(s.BaudCheckSeconds >= 0 && s.BaudCheckSeconds <= 9, "BaudCheckSeconds in 0..9");
    Require(s.RxBuffer.size() <= kMaxUnfinishedSentence, "RxBuffer bounded");
    Require(s.Sentence.empty(), "Sentence empty between events");
    Require(f.port.written.empty() || f.port.written.back() == texts::kColdStartOrder, "only the order");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    testing::Recorder chunkedSentences;
    // Both restart signs (a third of the inputs fix-lost): each reads the GGA fields its own way.
    const RestartSign sign = size % 3 == 1 ? RestartSign::FixLost : RestartSign::ClockReset;
    EngineFront chunked(CycleSettings{.observer = &chunkedSentences, .sign = sign});
    Prepare(chunked);
    // One input in eight is checked against the same bytes in one read (below): the reference
    // run costs as much as the fuzzed one.
    const bool checked = size % 8 == 0;
    std::string all;
    while (input.remaining_bytes() > 0) {
        const std::uint8_t steer = input.ConsumeIntegral<std::uint8_t>();
        std::string read = input.ConsumeBytesAsString(input.ConsumeIntegralInRange<std::size_t>(0, 255));
        // One read in sixteen repeats its text, so that small inputs reach past the bound.
        if ((steer & 0xF0) == 0xF0) {
            const std::string piece = read;
            for (int i = steer & 0x0F; i > 0; --i) read += piece;
        }
        if (checked) all += read;
        if (steer == 0x3F) chunked.PortEvent(comm_event::kCts);  // not a read
        Receive(chunked, std::move(read));
        for (int second = (steer >> 5) & 0x03; second > 0; --second) {
            chunked.Tick(steer & 1 ? TimerId::Timer_Start : TimerId::Timer_PF);
            chunked.Tick(steer & 1 ? TimerId::Timer_PF : TimerId::Timer_Start);
        }
    }
    // However the line was cut and whatever the timers did, the same sentences are analysed,
    // each once, as when every byte comes in one read.
    if (checked) {
        testing::Recorder wholeSentences;
        EngineFront whole(CycleSettings{.observer = &wholeSentences, .sign = sign});
        Prepare(whole);
        Receive(whole, std::move(all));
        Require(chunkedSentences.analysed == wholeSentences.analysed, "same sentences in reads as in one piece");
    }
    return 0;
}
