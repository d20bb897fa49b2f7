#pragma once

#include <optional>

namespace quorvel::lab {

// --pass-ttff / --pass-rate: a cycle passes (a good start) with verdict ok, a TTFF of at most
// ttffS and, with --pass-error, its first fix within errorM metres of the reference; a receiver
// passes when at least ratePct % of its judged cycles pass. With --confidence each receiver and
// start is decided as it goes, at confidencePct %, its bad-receiver factor badFactor.
struct PassRule {
    std::optional<double> ttffS;
    double ratePct = 95;
    std::optional<double> errorM = {};
    std::optional<double> confidencePct = {};
    double badFactor = 1.5;
};

}  // namespace quorvel::lab
