#pragma once

#include <string>

namespace quorvel::lab {

// What `quorvel-lab --help` and `quorvel-lab report --help` print: the usage, the option list
// of both commands' tables, the profiles and their orders, and how the lab judges and ends.
std::string HelpText();

}  // namespace quorvel::lab
