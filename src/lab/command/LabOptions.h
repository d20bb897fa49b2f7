#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/EngineObserver.h"
#include "lab/cycle/Geo.h"
#include "lab/http/Address.h"
#include "lab/ports/PortArgument.h"
#include "lab/power/PowerSwitch.h"
#include "lab/record/PassRule.h"

namespace quorvel::lab {

// What the command line sets for a run, as the lab takes it.
struct LabOptions {
    std::vector<PortSpec> ports;
    std::string journal;  // empty: quorvel-lab-<UTC yyyymmdd-hhmmss>-<pid>.csv
    std::string report;   // empty: none
    std::optional<int> cycles;
    std::optional<double> durationS;
    int interval = 30;
    std::string profile{"pxemsrt"};  // for ports that name none; "auto": the receiver's own
    std::string starts{"cold"};      // for ports that name none: "cold", "cold,warm,hot"
    // The surveyed antenna position of every port ("") or of the port so named.
    std::map<std::string, Reference> references;
    std::optional<double> fixWithinM;  // the first fix is the first within this of the reference
    bool fix3d = false;                // only a 3D fix counts as the first fix
    std::optional<std::string> order;  // overrides every profile's order
    std::optional<RestartSign> sign;   // overrides every profile's sign
    int retry = 10;
    int fixLimit = 300;  // seconds without a fix while one is awaited, then a no-fix row
    bool help = false;
    bool version = false;
    bool listPorts = false;
    PassRule pass;  // --pass-ttff, --pass-rate, --pass-error, --confidence, --bad-factor
    bool untilDecided = false;  // no order to a decided receiver; the run ends when all are
    PowerPlan power;            // how power starts switch each receiver's supply
    double powerOffForS = 5;    // how long a power start keeps it off
    std::optional<HttpAddress> http;  // --http: the running lab served read-only there
};

}  // namespace quorvel::lab
