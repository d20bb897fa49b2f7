#include "sim/Chunker.h"

#include <algorithm>

namespace quorvel::sim {
namespace {

std::vector<std::string> Pieces(std::string_view burst, ChunkMode mode, std::mt19937_64& rng) {
    std::vector<std::string> pieces;
    std::size_t at = 0;
    while (at < burst.size()) {
        std::size_t size = burst.size() - at;
        if (mode == ChunkMode::Byte) {
            size = 1;
        } else if (mode == ChunkMode::Random) {
            size = std::uniform_int_distribution<std::size_t>(1, 64)(rng);
        } else if (mode == ChunkMode::Sentence) {
            const std::size_t lf = burst.find('\n', at);
            // Text without line ends (line noise) goes in line-sized pieces.
            size = lf == std::string_view::npos ? 80 : lf - at + 1;
        }
        size = std::min(size, burst.size() - at);
        pieces.emplace_back(burst.substr(at, size));
        at += size;
    }
    return pieces;
}

}  // namespace

std::vector<Chunk> SplitBurst(std::string_view burst, ChunkMode mode, int periodMs,
                              std::mt19937_64& rng) {
    if (burst.empty()) return {};
    if (mode == ChunkMode::Burst) return {Chunk{0, std::string(burst)}};
    std::vector<std::string> pieces = Pieces(burst, mode, rng);
    const double spread = periodMs / 2.0;
    const double step = spread / static_cast<double>(pieces.size());
    std::vector<Chunk> chunks;
    double offset = 0;
    for (std::string& piece : pieces) {
        chunks.push_back(Chunk{static_cast<int>(offset), std::move(piece)});
        const double gap = mode == ChunkMode::Random
                               ? std::uniform_real_distribution<double>(0, 2 * step)(rng)
                               : step;
        offset = std::min(spread, offset + gap);
    }
    return chunks;
}

}  // namespace quorvel::sim
