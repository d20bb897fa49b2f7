#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "lab/Journal.h"

namespace quorvel::lab {

struct Spread {
    double min = 0;
    double median = 0;
    double p95 = 0;  // nearest rank
    double max = 0;
};

std::optional<Spread> SpreadOf(std::vector<double> values);
// The values that are not NaN.
std::vector<double> Present(const std::vector<float>& values);

inline constexpr std::array<const char*, 7> kVerdicts = {
    "ok", "no-respond", "shut-down", "baud-mismatch", "cant-connect", "no-fix", "port-error"};

// What the summary and the report need of one receiver's rows, kept small for long runs.
struct Tally {
    std::string receiver;
    std::string profile;  // the receiver profile it ran under; empty when not known
    std::array<int, kVerdicts.size()> verdicts{};
    // One value per judged cycle, NaN where the row has none.
    std::vector<float> restartByCycle;
    std::vector<float> ttffByCycle;

    void Add(const Row& row);
    int Cycles() const { return static_cast<int>(ttffByCycle.size()); }
};

// The summary table as plain text columns; `cells` gives the same cells for the report.
std::vector<std::string> SummaryHeader();
std::vector<std::string> SummaryCells(const Tally& tally);
std::string SummaryText(const std::vector<Tally>& tallies);

}  // namespace quorvel::lab
