#pragma once

#include <string>

#include "lab/record/Stats.h"

namespace quorvel::lab {

// The report's charts, drawn in the page by Chart.js.

// One receiver's data for the charts, as an entry of the script's `receivers`: its TTFF and
// restart over the cycles, its TTFF histogram and range, and its first-fix error against TTFF.
std::string ChartData(const Tally& tally);
// Whether the receiver has cycles with both a TTFF and an error, for a chart of one against
// the other.
bool HasErrorChart(const Tally& tally);
// With --confidence, the receiver's share of good starts over its judged cycles, its lower and
// upper bounds at that confidence, as the entry's `bounds`; at most kMostBoundPoints points.
std::string BoundsData(const Tally& tally, const PassRule& rule);
inline constexpr std::size_t kMostBoundPoints = 200;
// The script that draws every chart from `limit` (the --pass-ttff seconds, or null),
// `decision` (null, or the success shares that pass and fail a receiver) and `receivers`
// (each receiver's ChartData).
extern const char* const kDrawCharts;

}  // namespace quorvel::lab
