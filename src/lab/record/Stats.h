#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "lab/decide/Decision.h"
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
    // The last port trouble the lab saw, with the system's reason ("/dev/ttyUSB0: Connection
    // refused"), while no fix has come since; a journal keeps none.
    std::string trouble = {};
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
    // Whether judged cycle `i` is a good start by `rule`: it restarted, and its first fix came
    // within --pass-ttff and, with --pass-error, within that many metres of the reference.
    bool Good(std::size_t i, const PassRule& rule) const;
    // The sequential test at --confidence over the judged cycles so far; the cycles already
    // taken are kept, so each is looked at once however often it is asked.
    const SequentialTest& Decided(const PassRule& rule) const;
    // What Decided has taken so far.
    mutable SequentialTest decided = {};
    mutable std::size_t decidedCycles = 0;
};

DecisionRule DecisionRuleOf(const PassRule& rule);

struct Standing {
    int judged = 0;
    int passed = 0;
    double ratePct = 0;
    bool pass = false;
};
Standing StandingOf(const Tally& tally, const PassRule& rule);
// True when a rule is given and some receiver fails it (with --confidence: is decided FAIL).
bool AnyFails(const std::vector<Tally>& tallies, const PassRule& rule);
// What the receivers' standings make of the exit status: 0 when none failed, 3 when one did,
// and with --confidence 4 when none failed but one is undecided.
int StandingStatus(const std::vector<Tally>& tallies, const PassRule& rule);

// A receiver and start as one text, for finding a tally.
inline std::string TallyKey(const Tally& t) { return t.receiver + '\n' + t.start; }

}  // namespace quorvel::lab
