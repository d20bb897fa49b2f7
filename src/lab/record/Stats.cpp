#include "lab/record/Stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quorvel::lab {

std::string Fixed(double value, int decimals) {
    if (!std::isfinite(value)) return std::isnan(value) ? "nan" : value < 0 ? "-inf" : "inf";
    const int size = std::snprintf(nullptr, 0, "%.*f", decimals, value);
    std::string text(static_cast<std::size_t>(size) + 1, '\0');
    std::snprintf(text.data(), text.size(), "%.*f", decimals, value);
    text.pop_back();
    return text;
}

std::optional<Spread> SpreadOf(std::vector<double> v) {
    if (v.empty()) return {};
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    const double median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    const auto rank = static_cast<std::size_t>(std::ceil(0.95 * static_cast<double>(n)));
    return Spread{v.front(), median, v[rank - 1], v.back(), n};
}

void Tally::Add(const Row& row) {
    ++verdicts[static_cast<std::size_t>(row.verdict)];
    verdictByCycle.push_back(row.verdict);
    restartByCycle.push_back(row.restartS ? *row.restartS : NAN);
    ttffByCycle.push_back(row.ttffS ? *row.ttffS : NAN);
    errorByCycle.push_back(row.errorM ? *row.errorM : NAN);
    cn0ByCycle.push_back(row.cn0 ? *row.cn0 : NAN);
    if (!row.ttffRule.empty()) ttffRule = row.ttffRule;
}

int Tally::WithoutFix() const {
    int count = 0;
    for (std::size_t i = 0; i < ttffByCycle.size(); ++i)
        count += lab::Judged(verdictByCycle[i]) && std::isnan(ttffByCycle[i]);
    return count;
}

bool Tally::Good(std::size_t i, const PassRule& rule) const {
    return verdictByCycle[i] == Verdict::Ok && !std::isnan(ttffByCycle[i]) && rule.ttffS &&
           ttffByCycle[i] <= *rule.ttffS &&
           (!rule.errorM || (!std::isnan(errorByCycle[i]) && errorByCycle[i] <= *rule.errorM));
}

DecisionRule DecisionRuleOf(const PassRule& rule) {
    return {rule.ratePct, rule.confidencePct.value_or(0), rule.badFactor};
}

const SequentialTest& Tally::Decided(const PassRule& rule) const {
    const DecisionRule decision = DecisionRuleOf(rule);
    for (; decidedCycles < verdictByCycle.size(); ++decidedCycles) {
        if (lab::Judged(verdictByCycle[decidedCycles]))
            decided = Advance(decided, !Good(decidedCycles, rule), decision);
    }
    return decided;
}

Standing StandingOf(const Tally& t, const PassRule& rule) {
    Standing s;
    for (std::size_t i = 0; i < t.ttffByCycle.size(); ++i) {
        if (!Judged(t.verdictByCycle[i])) continue;
        ++s.judged;
        s.passed += t.Good(i, rule);
    }
    s.ratePct = s.judged ? 100.0 * s.passed / s.judged : 0;
    s.pass = s.judged > 0 && 100.0 * s.passed >= rule.ratePct * s.judged;
    return s;
}

bool AnyFails(const std::vector<Tally>& tallies, const PassRule& rule) {
    if (!rule.ttffS) return false;
    for (const Tally& t : tallies) {
        if (rule.confidencePct ? t.Decided(rule).decision == Decision::Fail
                               : !StandingOf(t, rule).pass)
            return true;
    }
    return false;
}

int StandingStatus(const std::vector<Tally>& tallies, const PassRule& rule) {
    if (AnyFails(tallies, rule)) return 3;
    if (!rule.confidencePct) return 0;
    for (const Tally& t : tallies)
        if (t.Decided(rule).decision == Decision::Undecided) return 4;
    return 0;
}

std::vector<double> Present(const std::vector<double>& all) {
    std::vector<double> values;
    for (double t : all) {
        if (!std::isnan(t)) values.push_back(t);
    }
    return values;
}

}  // namespace quorvel::lab
