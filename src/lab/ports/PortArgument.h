#pragma once

#include <optional>
#include <string>
#include <vector>

#include "lab/cycle/Geo.h"
#include "lab/families/Start.h"

namespace quorvel::lab {

// One receiver as named on the command line.
struct PortSpec {
    std::string name;    // as given, for the journal
    int com = 0;         // COM number, or 0 for a device path
    std::string device;  // when com is 0: the device path, or tcp://HOST:PORT
    std::string baud;
    std::string profile;                        // the receiver profile's name
    std::vector<Start> starts = {Start::Cold};  // taken in turn, one per cycle
    std::optional<Reference> reference = {};    // the surveyed antenna position
};

}  // namespace quorvel::lab
