#pragma once

#include <string>
#include <vector>

#include "lab/record/PassRule.h"
#include "lab/record/Stats.h"

namespace quorvel::lab {

// Which optional columns the summary has: the first fix's error against a reference and its
// C/N0, each only when some receiver has one.
struct SummaryShape {
    bool errors = false;
    bool cn0 = false;
};
SummaryShape ShapeOf(const std::vector<Tally>& tallies);

// The summary table as plain text columns; `cells` gives the same cells for the report.
// With --confidence: "PASS at 47: 97.9 % [90.1, 99.6] (47 good, 1 bad)", the decision, the cycle
// it was reached at, the share of good starts and its bounds at that confidence.
std::string DecisionText(const Tally& t, const PassRule& rule);
std::vector<std::string> SummaryHeader(const PassRule& rule = {}, SummaryShape shape = {});
std::vector<std::string> SummaryCells(const Tally& tally, const PassRule& rule = {},
                                      SummaryShape shape = {});
std::string SummaryText(const std::vector<Tally>& tallies, const PassRule& rule = {});
// "COM5: u-blox NEO-M8N, ..." lines: each receiver's identity and notes, once a receiver.
std::vector<std::string> SummaryNotes(const std::vector<Tally>& tallies);

}  // namespace quorvel::lab
