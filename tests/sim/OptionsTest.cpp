#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/Options.h"

namespace quorvel::sim {
namespace {

using Args = std::vector<std::string>;

TEST(Options, DefaultsAreAOneHertzReceiverAtNineSixHundred) {
    const ParseResult r = ParseOptions({});
    ASSERT_EQ(r.outcome, ParseResult::Outcome::Run);
    EXPECT_EQ(r.options.baud, 9600);
    EXPECT_EQ(r.options.rateMs, 1000);
    EXPECT_EQ(r.options.rebootSilence, 3);
    EXPECT_EQ(r.options.restartAfter, 0);
    EXPECT_EQ(r.options.chunk, ChunkMode::Burst);
    EXPECT_FALSE(r.options.com || r.options.startSecondsOfDay || r.options.exitAfterSeconds);
}

TEST(Options, EveryOptionIsRead) {
    const ParseResult r = ParseOptions({"--baud",
                                        "4800",
                                        "--rate-ms=50",
                                        "--com",
                                        "7",
                                        "--ports-dir",
                                        "/tmp/p",
                                        "--start-time",
                                        "235955",
                                        "--reboot-silence",
                                        "0",
                                        "--restart-after",
                                        "40",
                                        "--power-off-after",
                                        "5",
                                        "--chunk",
                                        "random",
                                        "--seed",
                                        "42",
                                        "--exit-after",
                                        "2.5",
                                        "--no-time",
                                        "--verbose"});
    ASSERT_EQ(r.outcome, ParseResult::Outcome::Run) << r.error;
    const Options& o = r.options;
    EXPECT_EQ(o.baud, 4800);
    EXPECT_EQ(o.rateMs, 50);
    EXPECT_EQ(o.com, 7);
    EXPECT_EQ(o.portsDir, "/tmp/p");
    EXPECT_EQ(o.startSecondsOfDay, 23 * 3600 + 59 * 60 + 55);
    EXPECT_EQ(o.rebootSilence, 0);
    EXPECT_EQ(o.restartAfter, 40);
    EXPECT_EQ(o.powerOffAfter, 5);
    EXPECT_EQ(o.chunk, ChunkMode::Random);
    EXPECT_EQ(o.seed, 42u);
    EXPECT_DOUBLE_EQ(*o.exitAfterSeconds, 2.5);
    EXPECT_TRUE(o.noTime && o.verbose);
    EXPECT_EQ(r.exitCode(), 0);
}

TEST(Options, FlagsAreRead) {
    EXPECT_TRUE(ParseOptions({"--never-restart"}).options.neverRestart);
    EXPECT_TRUE(ParseOptions({"--wrong-baud"}).options.wrongBaud);
    EXPECT_TRUE(ParseOptions({"--silent"}).options.silent);
    EXPECT_EQ(ParseOptions({"--replay", "x.log"}).options.replay, "x.log");
    EXPECT_EQ(ParseOptions({"--chunk", "byte"}).options.chunk, ChunkMode::Byte);
    EXPECT_EQ(ParseOptions({"--chunk", "sentence"}).options.chunk, ChunkMode::Sentence);
}

TEST(Options, HelpWinsAndExitsZero) {
    for (const Args& args : {Args{"--help"}, Args{"-h"}, Args{"--baud", "9600", "--help"}}) {
        const ParseResult r = ParseOptions(args);
        EXPECT_EQ(r.outcome, ParseResult::Outcome::Help);
        EXPECT_EQ(r.exitCode(), 0);
    }
    EXPECT_NE(HelpText().find("--power-off-after"), std::string::npos);
}

class BadOptions : public ::testing::TestWithParam<Args> {};

TEST_P(BadOptions, AreRefusedWithAMessageAndExitCodeTwo) {
    const ParseResult r = ParseOptions(GetParam());
    EXPECT_EQ(r.outcome, ParseResult::Outcome::Error);
    EXPECT_EQ(r.exitCode(), 2);
    EXPECT_FALSE(r.error.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadOptions,
    ::testing::Values(Args{"--bogus"}, Args{"extra"}, Args{"--baud"}, Args{"--baud", "0"},
                      Args{"--baud", "96OO"}, Args{"--rate-ms", "5"}, Args{"--com", "0"},
                      Args{"--com", "102"}, Args{"--start-time", "240000"},
                      Args{"--start-time", "126000"}, Args{"--start-time", "12345"},
                      Args{"--chunk", "lines"}, Args{"--exit-after", "-1"},
                      Args{"--exit-after", "soon"}, Args{"--power-off-after", "0"},
                      Args{"--seed", "-3"}, Args{"--silent=yes"}, Args{"--ports-dir", "/tmp"},
                      Args{"--silent", "--wrong-baud"}, Args{"--no-time", "--replay", "f"},
                      Args{"--never-restart", "--restart-after", "3"},
                      Args{"--never-restart", "--power-off-after", "3"}));

}  // namespace
}  // namespace quorvel::sim
