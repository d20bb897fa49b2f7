#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/Chunker.h"
#include "sim/Receiver.h"

namespace quorvel::sim {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

struct Options {
    int baud = 9600;
    int rateMs = 1000;
    std::optional<int> startSecondsOfDay;  // default: the current UTC time
    std::optional<int> com;
    std::string portsDir;  // empty: the per-user default
    int rebootSilence = 3;
    int ttff = 5;
    int restartAfter = 0;
    bool neverRestart = false;
    bool neverFix = false;
    Family family = Family::Pxemsrt;
    std::optional<int> powerOffAfter;
    bool noTime = false;
    bool wrongBaud = false;
    bool silent = false;
    ChunkMode chunk = ChunkMode::Burst;
    std::optional<std::uint64_t> seed;  // default: drawn at start and printed
    std::string replay;
    std::optional<double> exitAfterSeconds;
    bool verbose = false;
    double offsetM = 0;
    int offsetFor = 0;
    int twoDFor = 0;
    bool noGsa = false;
    std::string powerFile;  // empty: always on
    bool vanish = false;    // powered off, its device goes too
    bool familyGiven = false;  // with --count: every receiver of --family, not the families in turn
    // A rack behind a device server: --count receivers on TCP, receiver i on port tcpPort + i.
    std::string tcpHost;  // empty: no rack, the pty
    int tcpPort = 0;
    int count = 1;
    std::optional<int> ttffSpread;  // the rack's TTFFs are drawn from --ttff +- this
    std::string portsFileOut;
};

// The TTFF spread a rack draws from when --ttff-spread is not given: half of --ttff.
inline int TtffSpread(const Options& o) { return o.ttffSpread.value_or(o.ttff / 2); }

struct ParseResult {
    enum class Outcome { Run, Help, Version, Error };
    Outcome outcome = Outcome::Run;
    Options options;
    std::string error;  // set for Outcome::Error

    int exitCode() const { return outcome == Outcome::Error ? kExitUsage : kExitOk; }
};

// `args` excludes the program name.
ParseResult ParseOptions(const std::vector<std::string>& args);

std::string HelpText();

}  // namespace quorvel::sim
