#include "lab/families/Start.h"

namespace quorvel::lab {
namespace {

constexpr const char* kStartNames[] = {"hot", "warm", "cold", "factory", "power"};

}  // namespace

const char* StartName(Start start) { return kStartNames[static_cast<int>(start)]; }

std::optional<Start> StartNamed(std::string_view name) {
    for (Start start : kAllStarts) {
        if (name == StartName(start)) return start;
    }
    return std::nullopt;
}

}  // namespace quorvel::lab
