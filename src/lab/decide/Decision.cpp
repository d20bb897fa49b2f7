#include "lab/decide/Decision.h"

#include <algorithm>
#include <cmath>

// The risk of looking after every start. One look at risk alpha wrongly fails a receiver at
// its limit with probability alpha; looking again after every start would sum those chances
// up. The fail test can only newly hold after a bad start (a good one lowers the bad share),
// the pass test only after a good one, so each spends the risk over those starts alone: the
// k-th bad start may fail with risk alpha / (k (k + 1)), the k-th good start may pass with the
// same. The shares, 1/2, 1/6, 1/12, ... of alpha, add up to alpha, so by the union bound a
// receiver at the limit is wrongly failed, and one badFactor times worse wrongly passed, with
// probability at most alpha however long the run. Sound with no cap on the run's length and
// nothing to calibrate per rule, at the price of more starts than a per-look risk tuned by
// simulation to one test length would need.

namespace quorvel::lab {
namespace {

double LogBeta(double a, double b) { return std::lgamma(a) + std::lgamma(b) - std::lgamma(a + b); }

// The continued fraction of I_x(a, b), by the modified Lentz method; converges fast for
// x < (a + 1) / (a + b + 2), in about sqrt(max(a, b)) terms.
double BetaFraction(double x, double a, double b) {
    constexpr double tiny = 1e-300;
    auto guard = [](double v) { return std::fabs(v) < tiny ? tiny : v; };
    double c = 1;
    double d = 1 / guard(1 - (a + b) * x / (a + 1));
    double h = d;
    for (int m = 1; m <= 100000; ++m) {
        const double m2 = 2.0 * m;
        double aa = m * (b - m) * x / ((a - 1 + m2) * (a + m2));
        d = 1 / guard(1 + aa * d);
        c = guard(1 + aa / c);
        h *= d * c;
        aa = -(a + m) * (a + b + m) * x / ((a + m2) * (a + 1 + m2));
        d = 1 / guard(1 + aa * d);
        c = guard(1 + aa / c);
        const double step = d * c;
        h *= step;
        if (std::fabs(step - 1) < 1e-15) break;
    }
    return h;
}

// P(X >= k) and P(X <= k) for X binomial over n starts at probability p, each computed on the
// side where it is small, so that a tail of 1e-12 keeps its digits.
double TailFrom(int k, int n, double p) {
    if (k <= 0) return 1;
    if (k > n || p <= 0) return 0;
    if (p >= 1) return 1;
    return RegularizedBeta(p, k, n - k + 1);
}
double TailTo(int k, int n, double p) {
    if (k >= n || p <= 0) return 1;
    if (k < 0 || p >= 1) return 0;
    return RegularizedBeta(1 - p, n - k, k + 1);
}

// The risk the k-th look of a test may spend.
double LookRisk(int k, double alpha) { return alpha / (double(k) * (double(k) + 1)); }

// A guess at the standard normal's p-quantile, good to 5e-4: a start for Newton's method.
double NormalGuess(double p) {
    const double q = std::min(p, 1 - p);
    const double t = std::sqrt(-2 * std::log(q));
    const double z = t - (2.515517 + t * (0.802853 + t * 0.010328)) /
                             (1 + t * (1.432788 + t * (0.189269 + t * 0.001308)));
    return p < 0.5 ? -z : z;
}

}  // namespace

std::string DecisionRuleError(const DecisionRule& r) {
    if (!(r.passRatePct > 0 && r.passRatePct <= 100))
        return "the pass rate must be above 0 and at most 100 %";
    if (!(r.confidencePct > 0 && r.confidencePct < 100))
        return "the confidence must be above 0 and below 100 %";
    if (!(r.badFactor >= 1 && std::isfinite(r.badFactor)))
        return "the bad-receiver factor must be at least 1";
    return {};
}

const char* DecisionName(Decision d) {
    switch (d) {
        case Decision::Pass:
            return "pass";
        case Decision::Fail:
            return "fail";
        case Decision::Undecided:
            break;
    }
    return "undecided";
}

Decision Decide(int good, int bad, const DecisionRule& rule) {
    if (!DecisionRuleError(rule).empty() || good < 0 || bad < 0) return Decision::Undecided;
    const int n = good + bad;
    const double alpha = 1 - rule.confidencePct / 100;
    const double allowed = 1 - rule.passRatePct / 100;
    // No share above 1 exists: with M times the allowed share at 1 or more there is no bad
    // receiver, and one good start shows the share is below 1.
    const double badShare = std::min(rule.badFactor * allowed, 1.0);
    // Fail: the Clopper-Pearson lower bound of the bad share, at the bad-th risk, is above the
    // allowed share, that is P(at least `bad` bad starts | allowed share) is below that risk.
    if (bad > 0 && TailFrom(bad, n, allowed) < LookRisk(bad, alpha)) return Decision::Fail;
    // Pass: the upper bound of the bad share, at the good-th risk, is below M times it.
    if (good > 0 && TailTo(bad, n, badShare) < LookRisk(good, alpha)) return Decision::Pass;
    return Decision::Undecided;
}

SequentialTest Advance(SequentialTest test, bool bad, const DecisionRule& rule) {
    ++(bad ? test.bad : test.good);
    if (test.decision == Decision::Undecided) {
        test.decision = Decide(test.good, test.bad, rule);
        if (test.decision != Decision::Undecided) test.at = test.good + test.bad;
    }
    return test;
}

SequentialTest DecideSequence(const std::vector<bool>& bad, const DecisionRule& rule) {
    SequentialTest test;
    for (bool b : bad) test = Advance(test, b, rule);
    return test;
}

SuccessBounds BoundsAt(int good, int bad, double confidencePct) {
    const int n = good + bad;
    const double alpha = 1 - confidencePct / 100;
    return {ClopperPearsonLower(good, n, alpha), ClopperPearsonUpper(good, n, alpha)};
}

double ClopperPearsonLower(int k, int n, double alpha) {
    if (n <= 0 || k <= 0) return 0;
    if (k >= n) return std::exp(std::log(alpha) / n);
    return BetaQuantile(alpha, k, n - k + 1);
}

double ClopperPearsonUpper(int k, int n, double alpha) {
    if (n <= 0 || k >= n) return 1;
    if (k <= 0) return -std::expm1(std::log(alpha) / n);
    // P(X <= k | u) = alpha, solved on the side of the small tail: I_{1-u}(n - k, k + 1) = alpha.
    return 1 - BetaQuantile(alpha, n - k, k + 1);
}

double RegularizedBeta(double x, double a, double b) {
    if (!(x > 0)) return 0;
    if (x >= 1) return 1;
    const double front = std::exp(a * std::log(x) + b * std::log1p(-x) - LogBeta(a, b));
    if (x < (a + 1) / (a + b + 2)) return front * BetaFraction(x, a, b) / a;
    return 1 - front * BetaFraction(1 - x, b, a) / b;
}

double BetaQuantile(double p, double a, double b) {
    if (!(p > 0)) return 0;
    if (p >= 1) return 1;
    // Newton's method from the normal approximation, kept inside a bracket that bisection
    // narrows whenever a step would leave it.
    const double mean = a / (a + b);
    const double spread = std::sqrt(a * b / ((a + b) * (a + b) * (a + b + 1)));
    double lo = 0, hi = 1;
    double x = std::clamp(mean + NormalGuess(p) * spread, 1e-300, 1 - 1e-16);
    const double logBeta = LogBeta(a, b);
    for (int i = 0; i < 400; ++i) {
        const double f = RegularizedBeta(x, a, b) - p;
        if (f == 0) return x;
        (f < 0 ? lo : hi) = x;
        const double density = std::exp((a - 1) * std::log(x) + (b - 1) * std::log1p(-x) - logBeta);
        double next = x - f / density;
        // Out of the bracket, or no step: halve it, geometrically near 0 where the bound of a
        // rare event lives.
        if (!(next > lo && next < hi))
            next = hi > 1e-3 ? (lo + hi) / 2 : lo > 0 ? std::sqrt(lo * hi) : hi / 16;
        if (std::fabs(next - x) <= 1e-14 * x || hi - lo <= 1e-16 * hi) return next;
        x = next;
    }
    return x;
}

}  // namespace quorvel::lab
