#pragma once

// Deciding a receiver's start test as it goes: after each judged start, exact binomial
// (Clopper-Pearson) bounds on its share of bad starts say pass, fail or go on. Plain C++, so the
// summary, the report and the run can all ask it.

#include <string>
#include <vector>

namespace quorvel::lab {

// "Meets passRatePct % of good starts", decided at confidencePct %. A receiver whose share of bad
// starts is badFactor times the allowed one, 1 - passRatePct/100, is a bad receiver: the test
// must not pass it. Between the two shares either decision is right; that margin is what lets
// the test end.
struct DecisionRule {
    double passRatePct = 95;
    double confidencePct = 95;
    double badFactor = 1.5;
};
// Why the rule cannot decide anything (a rate outside (0, 100], a confidence outside (0, 100),
// a factor below 1 or not a number), or empty.
std::string DecisionRuleError(const DecisionRule& rule);

enum class Decision { Undecided, Pass, Fail };
const char* DecisionName(Decision decision);  // "undecided", "pass", "fail"

// The decision the counts alone give, at no memory of earlier starts. Fail: the share of bad
// starts is above 1 - P/100 with the risk the bad-th bad start may spend; pass: it is below
// M (1 - P/100) with the risk the good-th good start may spend (see Decision.cpp). When both hold,
// which a test that stops at its first decision never reaches, fail wins: the receiver is
// shown to miss the rate it claims. A rule with DecisionRuleError decides nothing.
// Cost: two incomplete beta functions, a few microseconds at thousands of starts.
Decision Decide(int good, int bad, const DecisionRule& rule);

// One receiver's test so far. The first decision stands: starts after it are counted but do
// not undo it, or a long run would wander in and out of a decision.
struct SequentialTest {
    int good = 0;
    int bad = 0;
    Decision decision = Decision::Undecided;
    int at = 0;  // the judged start (1-based) that decided it; 0 while undecided
};
// The test after one more judged start. Once decided it only counts.
SequentialTest Advance(SequentialTest test, bool bad, const DecisionRule& rule);
// A receiver's judged starts in order, true for a bad one.
SequentialTest DecideSequence(const std::vector<bool>& bad, const DecisionRule& rule);

// The bounds of the share of good starts a report shows, each one-sided at confidencePct %:
// "at least `lower`" and "at most `upper`" each hold with that confidence. They take no
// account of the many looks, so a receiver can show a lower bound above its rate and still be
// undecided. No starts: 0 and 1.
struct SuccessBounds {
    double lower = 0;
    double upper = 1;
};
SuccessBounds BoundsAt(int good, int bad, double confidencePct);

// Exact one-sided Clopper-Pearson bounds of a binomial proportion: `successes` of `n`, each
// bound wrong with probability at most `alpha`. 0 successes give a lower bound of 0, n of n an
// upper bound of 1.
double ClopperPearsonLower(int successes, int n, double alpha);
double ClopperPearsonUpper(int successes, int n, double alpha);

// The regularized incomplete beta function I_x(a, b), and the x at which it reaches p. Accurate
// to about 1e-10 for a and b up to 1e5.
double RegularizedBeta(double x, double a, double b);
double BetaQuantile(double p, double a, double b);

}  // namespace quorvel::lab
