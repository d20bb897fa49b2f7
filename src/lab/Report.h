#pragma once

#include <string>
#include <vector>

#include "lab/Stats.h"

namespace quorvel::lab {

inline constexpr const char* kChartJs = "/usr/share/javascript/chart.js/chart.min.js";

// One self-contained HTML page: the summary table, an overview of every receiver's TTFF and,
// per receiver, TTFF over the cycles and a TTFF histogram, drawn by Chart.js inlined from
// `chartJs`. Without the script the page still carries the table and says why the charts are
// missing. It replaces the old page whole, or not at all: false with the reason in `error`.
// With `reloadS`, a browser showing the page reloads it every that many seconds, as the lab
// rewrites it during the run.
bool WriteReport(const std::string& path, const std::vector<Tally>& tallies, std::string& error,
                 const PassRule& rule = {}, const std::string& chartJs = kChartJs, int reloadS = 0);

}  // namespace quorvel::lab
