#pragma once

#include <optional>
#include <string>

#include "engine/Gga.h"
#include "lab/cycle/Epochs.h"
#include "lab/cycle/Geo.h"

namespace quorvel::lab {

// What counts as the first fix after a restart: any GNSS fix (GGA quality 1-5), or only one a
// GSA of its own epoch calls 3D, or only one within M metres of the surveyed reference.
struct FirstFixRule {
    bool fix3d = false;
    std::optional<Reference> reference = {};  // each fix's error is against it, when given
    std::optional<double> withinM = {};

    // "any fix", "3D fix within 100 m of 48.117300,11.516700": each row says which rule.
    std::string Text() const;
    // The fix's horizontal distance in metres from the reference; empty without one.
    std::optional<double> ErrorM(const GgaFields& gga) const;
    // Whether `epoch`'s fix, `errorM` from the reference, is a first fix by this rule.
    bool Counts(const Epoch& epoch, std::optional<double> errorM) const;
};

}  // namespace quorvel::lab
