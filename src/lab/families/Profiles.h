#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/EngineObserver.h"
#include "lab/families/Start.h"

namespace quorvel::lab {

// A text a receiver sends that tells its family: a sentence of `address` (without "$"; "TXT"
// stands for any talker's TXT, "UBX-MON-VER" for that binary answer) whose text holds
// `contains` (empty: any).
struct Recognition {
    std::string_view address;
    std::string_view contains;
};

// A receiver family as the lab drives it: its orders, the signs by which it shows that it
// obeyed, the texts that tell it, and the query that makes it name itself. Adding a family is
// adding one record to Profiles().
struct Profile {
    std::string name;
    std::string describes;                             // for --help
    std::array<std::optional<std::string>, 4> orders;  // bytes on the wire, per Start
    RestartSign sign;
    std::vector<std::string> startupTexts = {};  // sentence beginnings it sends as it restarts
    std::vector<Recognition> recognition = {};
    std::string versionQuery = {};  // a harmless question; empty: the family has none

    const std::string* OrderFor(Start start) const;
    // "hot, warm, cold": the starts it has, for a message naming them.
    std::string StartNames() const;
};

const std::vector<Profile>& Profiles();
const Profile* FindProfile(std::string_view name);
// The profile of a port whose receiver names its own family.
inline constexpr std::string_view kAutoProfile = "auto";

std::optional<RestartSign> SignNamed(std::string_view name);
const char* SignName(RestartSign sign);

// The order for --help: NMEA text as it is with CR LF named, a binary frame in hex.
std::string PrintableOrder(const std::string& order);

}  // namespace quorvel::lab
