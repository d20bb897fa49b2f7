#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "lab/record/Stats.h"

namespace quorvel::lab {

// `quorvel-lab report [-o FILE.html] [--pass-ttff S] [--pass-rate P] JOURNAL.csv...`; `args`
// follow the word "report". Prints the summary to `out`; returns the exit status: 2 a bad
// command line; 1 a journal unreadable, without rows or with refused ones, or the summary or
// report unwritten; 3 a receiver fails the pass rule. 1 wins over 3.
int RunReportCommand(const std::vector<std::string>& args, std::ostream& out);

}  // namespace quorvel::lab
