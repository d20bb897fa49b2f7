#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvel::sim {

// Cuts a capture into the bursts to send, one per burst period. Lines keep their own line
// ends and bytes, binary included; lines starting with "#" are comments and dropped. A new
// burst starts at each GGA line once the current burst holds one, so a burst is one cycle of
// the recorded receiver. A capture without GGA goes out ten lines per burst, and no burst
// grows past 2 KiB unless a single line does.
std::vector<std::string> CaptureBursts(std::string_view capture);

// Reads a whole file; false with `error` filled when it cannot be read.
bool ReadFile(const std::string& path, std::string& contents, std::string& error);

}  // namespace quorvel::sim
