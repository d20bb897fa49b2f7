#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace quorvel::lab {

// The restarts a receiver can be ordered to make: how much of what it knew it keeps.
enum class Start { Hot, Warm, Cold, Factory };
inline constexpr std::array kStarts = {Start::Hot, Start::Warm, Start::Cold, Start::Factory};

// "hot", "warm", "cold", "factory".
const char* StartName(Start start);
std::optional<Start> StartNamed(std::string_view name);

}  // namespace quorvel::lab
