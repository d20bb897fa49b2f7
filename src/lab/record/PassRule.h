#pragma once

#include <optional>
#include <string>

namespace quorvel::lab {

// --pass-ttff / --pass-rate: a cycle passes with verdict ok and a TTFF of at most ttffS; a
// receiver passes when at least ratePct % of its judged cycles pass.
struct PassRule {
    std::optional<double> ttffS;
    double ratePct = 95;
};

// Reads --pass-ttff (seconds) or --pass-rate (percent) into `rule`; the error line, or empty.
std::string ParsePassOption(const std::string& name, const std::string& value, PassRule& rule);

}  // namespace quorvel::lab
