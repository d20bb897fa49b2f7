#pragma once

#include <optional>
#include <string>
#include <vector>

#include "lab/command/ArgTable.h"
#include "lab/command/LabOptions.h"
#include "lab/families/Profiles.h"
#include "lab/record/PassRule.h"

namespace quorvel::lab {

// What `quorvel-lab` reads into, beside the options themselves.
struct LabReading {
    LabOptions options;
    std::string baud = "9600";  // for ports without "@BAUD"
    bool rateGiven = false;
    std::vector<std::string> portsFiles;  // --ports-file, in the order given
};

// What `quorvel-lab report` reads into.
struct ReportReading {
    std::string report;  // -o; empty: beside the first journal
    PassRule rule;
    bool rateGiven = false;
    bool help = false;
};

// What the pass options need of each other (--pass-rate, --pass-error and --confidence need
// --pass-ttff, --bad-factor needs --confidence); the error line, or empty.
std::string PassRuleError(const PassRule& rule, bool rateGiven);

// The options of each command, their setters writing into `into`; the tables --help lists.
std::vector<Option> LabTable(LabReading& into);
std::vector<Option> ReportTable(ReportReading& into);

// "cold", "cold,warm,hot": the starts taken in turn; each must be one the port gets an order
// for (OrdersFor) when it has a `profile`: nothing for an auto port, or when only the names
// are checked. Nothing, with the error line in `error`, for an unknown start or one missing.
std::optional<std::vector<Start>> StartList(const std::string& text, const Profile* profile,
                                            const LabOptions& options, std::string& error);

}  // namespace quorvel::lab
