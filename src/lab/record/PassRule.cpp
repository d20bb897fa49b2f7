#include "lab/record/PassRule.h"

#include <cstdlib>

namespace quorvel::lab {

std::string ParsePassOption(const std::string& name, const std::string& value, PassRule& rule) {
    char* end = nullptr;
    const double number = std::strtod(value.c_str(), &end);
    const bool rate = name == "--pass-rate";
    if (value.empty() || end != value.c_str() + value.size() || !(number >= 0) ||
        number > (rate ? 100 : 1e6) || (!rate && number == 0))
        return name + ": bad value '" + value + "'";
    (rate ? rule.ratePct : rule.ttffS.emplace()) = number;
    return {};
}

}  // namespace quorvel::lab
