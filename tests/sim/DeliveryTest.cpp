// How bursts reach the line: chunking, line noise and capture replay.
#include <gtest/gtest.h>

#include <string>

#include "sim/Chunker.h"
#include "sim/LineNoise.h"
#include "sim/Replay.h"
#include "sim/Sentences.h"

namespace quorvel::sim {
namespace {

const std::string kBurst = Burst(Epoch{});

class Chunking : public ::testing::TestWithParam<ChunkMode> {};

TEST_P(Chunking, KeepsEveryByteInOrderWithinHalfThePeriod) {
    std::mt19937_64 rng(7);
    const auto chunks = SplitBurst(kBurst, GetParam(), 1000, rng);
    std::string joined;
    int last = 0;
    for (const Chunk& c : chunks) {
        EXPECT_FALSE(c.bytes.empty());
        EXPECT_GE(c.offsetMs, last);
        EXPECT_LE(c.offsetMs, 500);
        last = c.offsetMs;
        joined += c.bytes;
    }
    EXPECT_EQ(joined, kBurst);
}

INSTANTIATE_TEST_SUITE_P(Modes, Chunking,
                         ::testing::Values(ChunkMode::Burst, ChunkMode::Sentence, ChunkMode::Byte,
                                           ChunkMode::Random));

TEST(LineNoise, OnlyTheSameRateReadsTheTextBack) {
    EXPECT_EQ(Garble("GPGGA,1,,*7F\r\n", 9600, 9600), "GPGGA,1,,*7F\r\n");
    for (int port : {4800, 9600, 115200}) {
        const std::string noise = Garble(kBurst, MismatchedRate(port), port);
        EXPECT_FALSE(noise.empty());
        EXPECT_EQ(noise.find('$'), std::string::npos);
        EXPECT_EQ(noise.find("GGA"), std::string::npos);
    }
    EXPECT_EQ(Garble("$$$", 9600, 9600), "");
}

TEST(Replay, SkipsCommentsAndCutsOneBurstPerGgaCycle) {
    const std::string capture =
        "# header\r\n$GPRMC,1*00\r\n$GPGGA,1*00\r\n$GPGSV,1*00\r\n"
        "#comment inside\n$GPGGA,2*00\r\n\xB5\x62\x01\n$GNGGA,3*00\r\n";
    const auto bursts = CaptureBursts(capture);
    ASSERT_EQ(bursts.size(), 3u);
    EXPECT_EQ(bursts[0], "$GPRMC,1*00\r\n$GPGGA,1*00\r\n$GPGSV,1*00\r\n");
    EXPECT_EQ(bursts[1], "$GPGGA,2*00\r\n\xB5\x62\x01\n");
    EXPECT_EQ(bursts[2], "$GNGGA,3*00\r\n");
}

TEST(Replay, RealCapturesPassThroughByteForByte) {
    for (const char* name : {"ublox-8.log", "ac12_binary.log", "telit-pls83-w.log"}) {
        std::string capture, error;
        ASSERT_TRUE(ReadFile(std::string(QUORVEL_CAPTURES_DIR) + "/" + name, capture, error))
            << error;
        std::string expected;  // the capture without its comment lines
        std::size_t at = 0;
        while (at < capture.size()) {
            std::size_t lf = capture.find('\n', at);
            lf = lf == std::string::npos ? capture.size() : lf + 1;
            if (capture[at] != '#') expected += capture.substr(at, lf - at);
            at = lf;
        }
        std::string joined;
        for (const std::string& burst : CaptureBursts(capture)) joined += burst;
        EXPECT_EQ(joined, expected) << name;
    }
}

}  // namespace
}  // namespace quorvel::sim
