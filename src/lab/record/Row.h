#pragma once

#include <optional>
#include <string>

#include "lab/record/Verdict.h"

namespace quorvel::lab {

// One judged cycle.
struct Row {
    std::string utc;  // host time, ISO 8601
    std::string receiver;
    int cycle = 0;
    Verdict verdict = Verdict::Ok;
    std::optional<double> restartS;
    std::optional<double> ttffS;
    std::optional<int> satellites;
    std::string hdop;          // as the GGA sent it
    std::string start = {};    // hot, warm, cold or factory: the order's, or the next order's
    std::string profile = {};  // the profile it ran under
    // Who the receiver said it is, in its own words; empty when it did not say.
    std::string make = {};
    std::string model = {};
    std::string firmware = {};
    std::optional<double> errorM = {};   // the first fix's distance from the reference
    std::optional<double> cn0 = {};      // mean C/N0 of the four strongest at the first fix, dB-Hz
    std::optional<double> cn0AgeS = {};  // how much older the satellite report is than the fix
    std::string ttffRule = {};           // what counted as the first fix, e.g. "3d within 100 m"
};

}  // namespace quorvel::lab
