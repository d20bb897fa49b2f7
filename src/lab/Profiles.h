#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/EngineObserver.h"

namespace quorvel::lab {

// A receiver family as the lab drives it: the cold-start order its makers define, and the
// sign by which it shows that it obeyed.
struct Profile {
    std::string name;
    std::string order;  // the bytes written to the port
    RestartSign sign;
    std::string describes;  // for --help
};

const std::vector<Profile>& Profiles();
const Profile* FindProfile(std::string_view name);
inline constexpr std::string_view kDefaultProfile = "pxemsrt";

std::optional<RestartSign> SignNamed(std::string_view name);
const char* SignName(RestartSign sign);

// The order for --help: NMEA text as it is with CR LF named, a binary frame in hex.
std::string PrintableOrder(const std::string& order);

}  // namespace quorvel::lab
