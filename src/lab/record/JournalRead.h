#pragma once

#include <optional>
#include <string>
#include <vector>

#include "lab/record/Stats.h"

namespace quorvel::lab {

// What one journal gave: the rows taken, and the lines refused (each named on stderr).
struct JournalRead {
    long long rows = 0;
    long long refused = 0;
    std::string firstUtc, lastUtc;  // the earliest and latest row times; empty when none
};

// Adds a journal's rows to `tallies`, one per receiver in the order first seen, each receiver
// named `prefix` + its name. A row with an impossible value (a time that is not a decimal number
// of seconds within a year, a cycle that is not a whole positive number, an unknown verdict) is
// refused, as is any other line that is not a row: each is named with its line on stderr. A row
// cut short by a killed run is skipped and named, not refused, whether it is the last line or
// a run that resumed the journal went on after it; a repeated header (concatenated journals) is
// passed over; CR LF line ends, a leading UTF-8 BOM and a quoted field over several lines are
// read. A receiver's texts are read back as it said them (ReceiverSaid). Nothing, with the
// reason in `error`, when the file cannot be read or does not begin with the header.
std::optional<JournalRead> ReadJournal(const std::string& path, const std::string& prefix,
                                       std::vector<Tally>& tallies, std::string& error);

// Widens the span from `first` to `last` (empty when none yet) to take in the time `utc`.
void Span(const std::string& utc, std::string& first, std::string& last);

}  // namespace quorvel::lab
