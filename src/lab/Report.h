#pragma once

#include <string>
#include <vector>

#include "lab/Stats.h"

namespace quorvel::lab {

inline constexpr const char* kChartJs = "/usr/share/javascript/chart.js/chart.min.js";

// One self-contained HTML page: the summary table and, per receiver, TTFF over the cycles and
// a TTFF histogram, drawn by Chart.js inlined from `chartJs`. Without the script the page
// still carries the table and says why the charts are missing. False when it cannot write.
bool WriteReport(const std::string& path, const std::vector<Tally>& tallies,
                 const std::string& chartJs = kChartJs);

}  // namespace quorvel::lab
