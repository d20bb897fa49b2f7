#pragma once

#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::sim {

// How a burst is handed to the port.
enum class ChunkMode { Burst, Sentence, Byte, Random };

struct Chunk {
    int offsetMs = 0;  // after the start of the burst period
    std::string bytes;
};

// Cuts `burst` into writes spread over the first half of the burst period, as a real line
// trickles its bytes: Burst is one write; Sentence one write per line; Byte one per byte;
// Random pieces of 1 to 64 bytes at uneven gaps drawn from `rng`.
std::vector<Chunk> SplitBurst(std::string_view burst, ChunkMode mode, int periodMs,
                              std::mt19937_64& rng);

}  // namespace quorvel::sim
