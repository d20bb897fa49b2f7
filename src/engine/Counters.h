#pragma once

#include <cstdint>
#include <limits>

namespace quorvel {

// The run counters are 16-bit and some of them move once a second for as long as a
// stalled cycle lasts; they stop at the limit instead of wrapping into nonsense.
inline void SaturatingIncrement(std::int16_t& counter) {
    if (counter < std::numeric_limits<std::int16_t>::max()) ++counter;
}

inline void SaturatingDecrement(std::int16_t& counter) {
    if (counter > std::numeric_limits<std::int16_t>::min()) --counter;
}

}  // namespace quorvel
