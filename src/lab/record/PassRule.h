#pragma once

#include <optional>

namespace quorvel::lab {

// --pass-ttff / --pass-rate: a cycle passes with verdict ok and a TTFF of at most ttffS; a
// receiver passes when at least ratePct % of its judged cycles pass.
struct PassRule {
    std::optional<double> ttffS;
    double ratePct = 95;
};

}  // namespace quorvel::lab
