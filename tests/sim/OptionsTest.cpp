#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "sim/Options.h"

namespace quorvel::sim {
namespace {

using Args = std::vector<std::string>;

// "--a b --c" as the program would get it.
Args Split(const std::string& line) {
    Args args;
    std::istringstream in(line);
    for (std::string word; in >> word;) args.push_back(word);
    return args;
}

TEST(Options, EveryOptionIsRead) {
    const ParseResult r = ParseOptions(
        Split("--baud 4800 --rate-ms=50 --com 7 --ports-dir /tmp/p --start-time 235955 "
              "--reboot-silence 0 --restart-after 40 --power-off-after 5 --chunk random "
              "--seed 42 --exit-after 2.5 --no-time --verbose"));
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

TEST(Options, HelpWinsAndExitsZero) {
    for (const Args& args : {Args{"--help"}, Args{"-h"}, Args{"--baud", "9600", "--help"}}) {
        const ParseResult r = ParseOptions(args);
        EXPECT_EQ(r.outcome, ParseResult::Outcome::Help);
        EXPECT_EQ(r.exitCode(), 0);
    }
}

class BadOptions : public ::testing::TestWithParam<Args> {};

TEST_P(BadOptions, AreRefusedWithAMessageAndExitCodeTwo) {
    const ParseResult r = ParseOptions(GetParam());
    EXPECT_EQ(r.outcome, ParseResult::Outcome::Error);
    EXPECT_EQ(r.exitCode(), 2);
    EXPECT_FALSE(r.error.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, BadOptions,
                         ::testing::Values(Args{"--bogus"}, Args{"extra"}, Args{"--baud"},
                                           Args{"--baud", "96OO"}, Args{"--com", "102"},
                                           Args{"--start-time", "126000"}, Args{"--chunk", "lines"},
                                           Args{"--exit-after", "-1"}, Args{"--ports-dir", "/tmp"},
                                           Args{"--silent", "--wrong-baud"},
                                           Args{"--never-restart", "--restart-after", "3"}));

}  // namespace
}  // namespace quorvel::sim
