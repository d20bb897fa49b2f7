// Deciding a receiver's start test as it goes: the exact bounds, the rule from the counts, the
// first decision standing, and the risk of deciding after every start, measured on simulated
// receivers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <iostream>
#include <random>

#include "lab/decide/Decision.h"

namespace quorvel::lab {
namespace {

// Published values and bounds found with 30-digit arithmetic by summing the binomial terms.
TEST(ClopperPearson, MatchesReferenceValuesUpToAHundredThousandStarts) {
    const struct {
        int k, n;
        double alpha, lower, upper;
    } rows[] = {
        {0, 10, 0.05, 0, 0.258865550893052},                   // the textbook 0.2589
        {7, 20, 0.025, 0.153909204784541, 0.592188534532828},  // two-sided 95 %: 0.1539-0.5922
        {950, 1000, 0.05, 0.937136596487620, 0.960836464074411},
        {1900, 2000, 1e-9, 0.914906291807944, 0.974115949228813},
        {50000, 100000, 0.05, 0.497394282260283, 0.502605717739717},
        {50000, 100000, 0.5, 0.499995000016667, 0.500004999983333},  // the slowest to converge
        {1, 100000, 0.05, 5.12932812325425e-7, 4.74377571738605e-5},
        {99990, 100000, 0.001, 0.999758677343591, 0.999970393902232},
    };
    for (const auto& r : rows) {
        EXPECT_NEAR(ClopperPearsonLower(r.k, r.n, r.alpha), r.lower, 1e-9 * r.lower)
            << r.k << "/" << r.n;
        EXPECT_NEAR(ClopperPearsonUpper(r.k, r.n, r.alpha), r.upper, 1e-9 * r.upper)
            << r.k << "/" << r.n;
    }
    // The report's bounds are the one-sided ones at C; no starts bound nothing.
    const SuccessBounds b = BoundsAt(950, 50, 95), none = BoundsAt(0, 0, 95);
    EXPECT_NEAR(b.lower, rows[2].lower, 1e-12);
    EXPECT_NEAR(b.upper, rows[2].upper, 1e-12);
    EXPECT_EQ(std::pair(none.lower, none.upper), std::pair(0.0, 1.0));
}

// P(X >= k) for X binomial over n at p, summed term by term.
double TailBySum(int k, int n, double p) {
    double sum = 0;
    for (int j = k; j <= n; ++j)
        sum += std::exp(std::lgamma(n + 1.0) - std::lgamma(j + 1.0) - std::lgamma(n - j + 1.0) +
                        j * std::log(p) + (n - j) * std::log1p(-p));
    return sum;
}

// The rule worked out from the binomial sums: the k-th bad start may fail the receiver at risk
// alpha/(k(k+1)), the k-th good start pass it at the same; fail wins when both hold.
Decision Expected(int good, int bad, const DecisionRule& r) {
    const int n = good + bad;
    const double alpha = 1 - r.confidencePct / 100, allowed = 1 - r.passRatePct / 100;
    const double badShare = std::min(1.0, r.badFactor * allowed);
    if (bad > 0 && (allowed == 0 || TailBySum(bad, n, allowed) < alpha / (bad * (bad + 1.0))))
        return Decision::Fail;
    if (good > 0 && badShare > 0 &&
        (badShare == 1 || TailBySum(good, n, 1 - badShare) < alpha / (good * (good + 1.0))))
        return Decision::Pass;
    return Decision::Undecided;
}

TEST(Decide, PassesFailsAndWaitsAsTheBinomialSays) {
    using enum Decision;
    const struct {
        double rate, confidence, factor;
        int good, bad;
        Decision want;
    } rows[] = {
        // clang-format off
        // 95 % at 95 %: a flawless receiver passes at its 171st start; two bad of two fail.
        {95, 95, 1.5, 170, 0, Undecided}, {95, 95, 1.5, 171, 0, Pass},
        {95, 95, 1.5, 0, 1, Undecided},   {95, 95, 1.5, 0, 2, Fail},
        {95, 95, 1.5, 966, 34, Pass},     {95, 95, 1.5, 965, 35, Undecided},
        {95, 95, 1.5, 918, 82, Undecided}, {95, 95, 1.5, 917, 83, Fail},
        {95, 95, 1.5, 18750, 1250, Fail},  // 6.25 %: both hold, fail wins
        {99, 90, 2, 772, 0, Undecided}, {99, 90, 2, 773, 0, Pass},
        {99, 90, 2, 4, 1, Fail},        {99, 90, 2, 5, 1, Undecided},
        {99, 90, 2, 17, 2, Fail},       {99, 90, 2, 18, 2, Undecided},
        // 100 %: the first bad start fails; no number of good ones passes.
        {100, 95, 1.5, 1000000, 0, Undecided}, {100, 95, 1.5, 0, 1, Fail}, {100, 95, 1.5, 99999, 1, Fail},
        // 30 % with M = 1.5: no share is 1.05, so the first good start passes.
        {30, 95, 1.5, 1, 0, Pass}, {30, 95, 1.5, 1, 40, Fail}, {30, 95, 1.5, 0, 20, Undecided},
        {50, 99, 1, 50, 50, Undecided}, {80, 95, 1.5, 0, 0, Undecided},
        // A rule that cannot decide decides nothing, whatever the counts.
        {0, 95, 1.5, 50, 0, Undecided}, {100.5, 95, 1.5, 0, 50, Undecided}, {NAN, 95, 1.5, 0, 50, Undecided},
        {95, 0, 1.5, 0, 50, Undecided}, {95, 100, 1.5, 0, 50, Undecided}, {95, 95, 0.9, 1000, 0, Undecided},
        // clang-format on
    };
    for (const auto& r : rows) {
        const DecisionRule rule{r.rate, r.confidence, r.factor};
        SCOPED_TRACE(std::to_string(r.rate) + "% " + std::to_string(r.good) + "+" +
                     std::to_string(r.bad));
        if (DecisionRuleError(rule).empty()) {
            EXPECT_EQ(Expected(r.good, r.bad, rule), r.want);
        }
        EXPECT_EQ(Decide(r.good, r.bad, rule), r.want);
    }
}

TEST(DecideSequence, TheFirstDecisionStandsAndSaysWhen) {
    std::vector<bool> passed(171, false), failed = {true, true};
    passed.resize(400, true);  // bad ever after: too late
    failed.resize(500, false);
    const DecisionRule rule{95, 95, 1.5};
    const SequentialTest p = DecideSequence(passed, rule), f = DecideSequence(failed, rule),
                         open = DecideSequence(std::vector<bool>(170, false), rule);
    EXPECT_EQ(std::tuple(p.decision, p.at, p.good, p.bad, f.decision, f.at, f.good, f.bad),
              std::tuple(Decision::Pass, 171, 171, 229, Decision::Fail, 2, 498, 2));
    EXPECT_EQ(std::tuple(open.decision, open.at, DecisionName(p.decision)),
              std::tuple(Decision::Undecided, 0, std::string("pass")));
}

// Receivers of a known bad share, each followed for up to `looks` starts: the shares the test
// passed, failed and left open. Decide is asked once a count, as all receivers meet the same
// counts.
struct Outcome {
    double share[3] = {};  // by Decision: open, passed, failed
    double meanLooks = 0;
};
Outcome Simulate(double share, int receivers, int looks, const DecisionRule& rule) {
    std::vector<std::int8_t> known(std::size_t(looks + 1) * (looks + 1), -1);
    std::mt19937_64 random(20240917);
    const auto below = static_cast<std::uint64_t>(share * 18446744073709551616.0);
    Outcome out;
    for (int r = 0; r < receivers; ++r) {
        Decision d = Decision::Undecided;
        int n = 0;
        for (int bad = 0; d == Decision::Undecided && n < looks;) {
            bad += random() < below;
            std::int8_t& seen = known[std::size_t(++n) * (looks + 1) + bad];
            if (seen < 0) seen = std::int8_t(Decide(n - bad, bad, rule));
            d = Decision(seen);
        }
        out.meanLooks += double(n) / receivers;
        out.share[int(d)] += 1.0 / receivers;
    }
    return out;
}

// A receiver exactly at the allowed share of bad starts meets its claim: failing it is the
// wrong decision. One M times worse is a bad receiver: passing it is the wrong decision. Each
// may happen at most 1 - C/100 of the time however often the test looks; between the two
// either decision is right. Receivers well clear of both must be decided, and rightly.
TEST(DecideSequence, LookingAfterEveryStartKeepsTheWrongDecisionsWithinTheRisk) {
    const DecisionRule rule{95, 95, 1.5};
    const int receivers = 4000;
    const double alpha = 0.05,
                 margin = 3 * std::sqrt(alpha * (1 - alpha) / receivers);  // sampling error
    for (double share : {0.05, 0.075, 0.02, 0.12}) {
        const Outcome o = Simulate(share, receivers, 2000, rule);
        const double pass = o.share[int(Decision::Pass)], fail = o.share[int(Decision::Fail)];
        std::cout << "bad share " << share << ": pass " << pass << " fail " << fail << " open "
                  << o.share[0] << " mean starts " << o.meanLooks << "\n";
        EXPECT_LE(share > 0.05 ? pass : fail, alpha + margin) << share;  // wrong
        if (share < 0.05 || share > 0.075) {
            EXPECT_GE(share > 0.05 ? fail : pass, 1 - alpha - margin) << share;
        }
    }
}

}  // namespace
}  // namespace quorvel::lab
