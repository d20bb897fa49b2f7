#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "lab/record/Journal.h"
#include "lab/record/PassRule.h"

namespace quorvel::lab {

struct Spread {
    double min = 0;
    double median = 0;
    double p95 = 0;  // nearest rank: the value at rank ceil(0.95 n) of the n sorted values
    double max = 0;
    std::size_t count = 0;  // the values it rests on
};

// `value` with `decimals` digits after the point, however large; inf and nan spelt out.
std::string Fixed(double value, int decimals);

std::optional<Spread> SpreadOf(std::vector<double> values);
// The values that are not NaN.
std::vector<double> Present(const std::vector<double>& values);

// What the summary and the report need of one receiver's rows, kept small for long runs.
struct Tally {
    std::string receiver;
    std::string profile = {};  // the receiver profile it ran under; empty when not known
    std::string start = {};    // the start its cycles ordered; empty when not known
    // Who the receiver said it is, and what else the summary says of it under the table
    // (sentences damaged, a profile it contradicted); empty when nothing.
    std::string identity = {};
    std::vector<std::string> notes = {};
    std::array<int, kVerdictNames.size()> verdicts{};
    // One value per cycle, NaN where the row has none.
    std::vector<double> restartByCycle = {};
    std::vector<double> ttffByCycle = {};
    std::vector<Verdict> verdictByCycle = {};
    std::vector<double> errorByCycle = {};  // metres from the reference at the first fix
    std::vector<double> cn0ByCycle = {};    // dB-Hz at the first fix
    std::string ttffRule = {};              // what counted as the first fix; empty when not known

    void Add(const Row& row);
    int Cycles() const { return static_cast<int>(ttffByCycle.size()); }
    int Judged() const {
        return Cycles() - verdicts[static_cast<std::size_t>(Verdict::Ended)] -
               verdicts[static_cast<std::size_t>(Verdict::Stalled)];
    }
    // Judged cycles that ended without a fix.
    int WithoutFix() const;
};

struct Standing {
    int judged = 0;
    int passed = 0;
    double ratePct = 0;
    bool pass = false;
};
Standing StandingOf(const Tally& tally, const PassRule& rule);
// True when a rule is given and some receiver fails it.
bool AnyFails(const std::vector<Tally>& tallies, const PassRule& rule);

// A receiver and start as one text, for finding a tally.
inline std::string TallyKey(const Tally& t) { return t.receiver + '\n' + t.start; }

}  // namespace quorvel::lab
