#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace quorvel::lab {

// The restarts a receiver can be ordered to make: how much of what it knew it keeps. A power
// start is no order: the lab switches the receiver's supply off and on.
enum class Start { Hot, Warm, Cold, Factory, Power };
// Those a family orders by a command of its own.
inline constexpr std::array kStarts = {Start::Hot, Start::Warm, Start::Cold, Start::Factory};
inline constexpr std::array kAllStarts = {Start::Hot, Start::Warm, Start::Cold, Start::Factory,
                                          Start::Power};

// "hot", "warm", "cold", "factory", "power".
const char* StartName(Start start);
std::optional<Start> StartNamed(std::string_view name);

}  // namespace quorvel::lab
