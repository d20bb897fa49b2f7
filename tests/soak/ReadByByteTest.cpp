// A receiver read one byte per event must not cost an allocation per byte: at 921600 baud a
// serial layer can hand over single bytes, and the unfinished sentence is rescanned each time.
#include <gtest/gtest.h>

#include <string>

#include "engine/NmeaText.h"
#include "engine/ScriptedReceiver.h"
#include "soak/HeapCount.h"

namespace quorvel::testing {
namespace {

TEST(ReadByByte, AnUnfinishedSentenceGrowsWithoutAnAllocationPerByte) {
    SimulatedWindow w;
    w.keepStatusHistory = false;
    // A long proprietary sentence, then a GGA sentence, each arriving byte by byte.
    const std::string text =
        Line(WithChecksum("PXEMX," + std::string(1500, 'A'))) + Line(Gga("120000.00"));
    const long long before = CurrentHeap().allocations;
    for (char c : text) w.Receive(std::string(1, c));
    const long long allocations = CurrentHeap().allocations - before;

    EXPECT_TRUE(w.state.GgaSeen);  // the GGA sentence was read all the same
    EXPECT_EQ(w.display.label1, "Connected!");
    // Growing by doubling needs a few dozen; one per byte would be well over a thousand.
    EXPECT_LT(allocations, 200) << "for " << text.size() << " bytes";
}

}  // namespace
}  // namespace quorvel::testing
