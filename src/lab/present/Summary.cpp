#include "lab/present/Summary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quorvel::lab {
namespace {

// Tenths as the journal has them; a median between two of them keeps its twentieth.
std::string Number(double value) {
    std::string out = Fixed(value, 2);
    if (out.back() == '0') out.pop_back();
    return out;
}

// The rate cut, never rounded, to one decimal, or to as many more as a passing rate takes not
// to show below the rule: a failing 1899/1999 against 95 % shows 94.9, never 95.0.
std::string RateText(const Standing& s, double rulePct) {
    long long scale = 10;
    long long shown = 1000LL * s.passed / s.judged;
    for (int more = 0; s.pass && more < 3 && shown < rulePct * static_cast<double>(scale); ++more) {
        scale *= 10;
        shown = 100 * scale * s.passed / s.judged;
    }
    std::string fraction = std::to_string(shown % scale + scale).substr(1);
    return std::to_string(shown / scale) + "." + fraction;
}

std::string SpreadText(const std::optional<Spread>& s) {
    if (!s) return "-";
    return Number(s->min) + " / " + Number(s->median) + " / " + Number(s->p95) + " / " +
           Number(s->max);
}

std::string Percent(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

}  // namespace

std::string DecisionText(const Tally& t, const PassRule& rule) {
    const SequentialTest& test = t.Decided(rule);
    const int judged = test.good + test.bad;
    std::string text = test.decision == Decision::Pass   ? "PASS at " + std::to_string(test.at)
                       : test.decision == Decision::Fail ? "FAIL at " + std::to_string(test.at)
                                                         : "UNDECIDED";
    if (judged == 0) return text + ": no judged cycle";
    const SuccessBounds b = BoundsAt(test.good, test.bad, *rule.confidencePct);
    return text + ": " + Fixed(100.0 * test.good / judged, 1) + " % [" + Fixed(100 * b.lower, 1) +
           ", " + Fixed(100 * b.upper, 1) + "] (" + std::to_string(test.good) + " good, " +
           std::to_string(test.bad) + " bad)";
}

SummaryShape ShapeOf(const std::vector<Tally>& tallies) {
    SummaryShape shape;
    for (const Tally& t : tallies) {
        shape.errors = shape.errors || !Present(t.errorByCycle).empty();
        shape.cn0 = shape.cn0 || !Present(t.cn0ByCycle).empty();
    }
    return shape;
}

std::vector<std::string> SummaryHeader(const PassRule& rule, SummaryShape shape) {
    std::vector<std::string> header = {"receiver", "profile", "start", "cycles"};
    header.insert(header.end(), kVerdictNames.begin(), kVerdictNames.end());
    header.insert(header.end(), {"restarts", "restart_s min / median / p95 / max", "fixes",
                                 "ttff_s min / median / p95 / max", "no fix"});
    if (shape.errors) header.push_back("error_m min / median / p95 / max");
    if (shape.cn0) header.push_back("cn0_dbhz min / median / p95 / max");
    if (rule.confidencePct)
        header.push_back("decision at " + Percent(*rule.confidencePct) + " %: success [bounds]");
    else if (rule.ttffS)
        header.push_back("pass");
    return header;
}

std::vector<std::string> SummaryCells(const Tally& t, const PassRule& rule, SummaryShape shape) {
    // A name from a journal or a link may hold anything: the terminal sees it escaped.
    std::vector<std::string> cells = {EscapeControls(t.receiver),
                                      t.profile.empty() ? "-" : t.profile,
                                      t.start.empty() ? "-" : t.start, std::to_string(t.Cycles())};
    for (int count : t.verdicts) cells.push_back(std::to_string(count));
    for (const auto* values : {&t.restartByCycle, &t.ttffByCycle}) {
        const auto spread = SpreadOf(Present(*values));
        cells.push_back(std::to_string(spread ? spread->count : 0));
        cells.push_back(SpreadText(spread));
    }
    cells.push_back(std::to_string(t.WithoutFix()));
    if (shape.errors) cells.push_back(SpreadText(SpreadOf(Present(t.errorByCycle))));
    if (shape.cn0) cells.push_back(SpreadText(SpreadOf(Present(t.cn0ByCycle))));
    if (rule.confidencePct) {
        cells.push_back(DecisionText(t, rule));
    } else if (rule.ttffS) {
        const Standing s = StandingOf(t, rule);
        cells.push_back(
            s.judged ? std::string(s.pass ? "PASS " : "FAIL ") + RateText(s, rule.ratePct) +
                           " % (" + std::to_string(s.passed) + "/" + std::to_string(s.judged) + ")"
                     : "FAIL no judged cycle");
    }
    return cells;
}

std::string SummaryText(const std::vector<Tally>& tallies, const PassRule& rule) {
    const SummaryShape shape = ShapeOf(tallies);
    std::vector<std::vector<std::string>> lines = {SummaryHeader(rule, shape)};
    for (const Tally& t : tallies) lines.push_back(SummaryCells(t, rule, shape));
    std::vector<std::size_t> widths(lines[0].size(), 0);
    for (const auto& line : lines) {
        for (std::size_t i = 0; i < line.size(); ++i)
            widths[i] = std::max(widths[i], line[i].size());
    }
    std::string text;
    for (const auto& line : lines) {
        for (std::size_t i = 0; i < line.size(); ++i) {
            text += line[i];
            if (i + 1 < line.size()) text += std::string(widths[i] - line[i].size() + 2, ' ');
        }
        text += '\n';
    }
    for (const std::string& note : SummaryNotes(tallies)) text += note + '\n';
    return text;
}

std::vector<std::string> SummaryNotes(const std::vector<Tally>& tallies) {
    std::vector<std::string> notes;
    const bool anyCn0 = ShapeOf(tallies).cn0;
    for (std::size_t i = 0; i < tallies.size(); ++i) {
        const Tally& t = tallies[i];
        const bool first = i == 0 || tallies[i - 1].receiver != t.receiver;
        const std::string name = EscapeControls(t.receiver) + ": ";
        if (first && !t.identity.empty()) notes.push_back(name + EscapeControls(t.identity));
        for (const std::string& note : t.notes)
            if (first) notes.push_back(name + EscapeControls(note));
        // An empty C/N0 is the receiver's silence about its satellites, not a value of 0.
        int fixes = 0, without = 0;
        for (std::size_t c = 0; c < t.ttffByCycle.size(); ++c) {
            fixes += !std::isnan(t.ttffByCycle[c]);
            without += !std::isnan(t.ttffByCycle[c]) && std::isnan(t.cn0ByCycle[c]);
        }
        if (without > 0 && anyCn0)
            notes.push_back(name + std::to_string(without) + " of " + std::to_string(fixes) + " " +
                            (t.start.empty() ? "" : t.start + " ") +
                            "first fixes without C/N0: no whole satellite report (GSV) within 5 s "
                            "before them");
    }
    return notes;
}

}  // namespace quorvel::lab
