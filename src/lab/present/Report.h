#pragma once

#include <string>
#include <utility>
#include <vector>

#include "lab/command/LabOptions.h"
#include "lab/present/Summary.h"
#include "lab/record/Stats.h"

namespace quorvel::lab {

inline constexpr const char* kChartJs = "/usr/share/javascript/chart.js/chart.min.js";

// How a report was made, for its head: a report is evidence someone signs. Texts as the page
// says them; a setting that is not known says so in its value.
struct ReportHead {
    std::string source = {};  // "this run", or the journals it was made from
    std::string run = {};     // its start and end (UTC), as far as they are known
    std::vector<std::pair<std::string, std::string>> settings = {};  // name, value
    struct Port {
        std::string name, profile, starts, orders, sign;
    };
    std::vector<Port> ports = {};
};

// The head of a lab run: `profiles` is each port's profile as its receiver runs it now (an auto
// port's family once named), `elapsedS` the real seconds since the run began.
ReportHead RunHead(const LabOptions& options, const std::vector<std::string>& profiles,
                   double elapsedS, bool ended);
// The head of a report made from journals: what they hold (receivers, profiles, starts, the
// span of their rows' times from `firstUtc` to `lastUtc`), and the rest named as not in them.
ReportHead JournalsHead(const std::vector<std::string>& journals, const std::vector<Tally>& tallies,
                        const std::string& firstUtc, const std::string& lastUtc);

// One self-contained HTML page: the head (the program's version and host, the run's span and
// settings, the pass rule and what counted as the first fix), the summary table with its notes,
// an overview of every receiver's TTFF and, per receiver and start, TTFF over the cycles, a TTFF
// histogram and, with errors against a reference, the error against the TTFF; drawn by Chart.js
// inlined from `chartJs`, with the --pass-ttff limit as a line. Without the script the page
// still carries the table and says why the charts are missing. It replaces the old page whole,
// or not at all: false with the reason in `error`. With `reloadS`, a browser showing the page
// reloads it every that many seconds, as the lab rewrites it during the run.
// The page WriteReport writes, as text (the lab's --http serves it).
std::string ReportPage(const std::vector<Tally>& tallies, const PassRule& rule = {},
                       const ReportHead& head = {}, const std::string& chartJs = kChartJs,
                       int reloadS = 0);
bool WriteReport(const std::string& path, const std::vector<Tally>& tallies, std::string& error,
                 const PassRule& rule = {}, const ReportHead& head = {},
                 const std::string& chartJs = kChartJs, int reloadS = 0);

}  // namespace quorvel::lab
