#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "lab/Stats.h"

namespace quorvel::lab {

// Adds a journal's rows to `tallies`, one per receiver in the order first seen, each receiver
// named `prefix` + its name. A cut last line is skipped and named on stderr, as is any other
// line that is not a row; a repeated header (concatenated journals) is passed over. False with
// the reason in `error` when the file cannot be read or does not begin with the header.
bool ReadJournal(const std::string& path, const std::string& prefix, std::vector<Tally>& tallies,
                 std::string& error);

// `quorvel-lab report [-o FILE.html] [--pass-ttff S] [--pass-rate P] JOURNAL.csv...`; `args`
// follow the word "report". Prints the summary to `out`; returns the exit status.
int RunReportCommand(const std::vector<std::string>& args, std::ostream& out);

}  // namespace quorvel::lab
