#include "sim/LineNoise.h"

#include <cstdint>
#include <vector>

namespace quorvel::sim {
namespace {

// Idle (1), start (0), eight data bits from the lowest, stop (1).
std::vector<bool> FrameBits(std::string_view text) {
    std::vector<bool> bits(2, true);
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        bits.push_back(false);
        for (int i = 0; i < 8; ++i) bits.push_back(((b >> i) & 1) != 0);
        bits.push_back(true);
    }
    bits.insert(bits.end(), 2, true);
    return bits;
}

}  // namespace

int MismatchedRate(int portBaud) { return portBaud >= 460800 ? portBaud / 2 : portBaud * 2; }

std::string Garble(std::string_view text, int lineBaud, int portBaud) {
    const std::vector<bool> bits = FrameBits(text);
    // Time is counted in sixteenths of a port bit, as a UART samples it.
    constexpr std::int64_t kSub = 16;
    const auto lineBitAt = [&](std::int64_t t) -> std::size_t {
        return static_cast<std::size_t>(t * lineBaud / (portBaud * kSub));
    };
    const std::int64_t end = static_cast<std::int64_t>(bits.size()) * portBaud * kSub / lineBaud;
    std::string out;
    for (std::int64_t t = 0; t + 10 * kSub < end;) {
        if (bits[lineBitAt(t)]) {
            ++t;
            continue;
        }
        unsigned value = 0;
        for (int i = 0; i < 8; ++i) {
            if (bits[lineBitAt(t + kSub / 2 + (i + 1) * kSub)]) value |= 1u << i;
        }
        if (value != '$') out += static_cast<char>(value);
        t += kSub / 2 + 9 * kSub;  // the middle of the stop bit
    }
    return out;
}

}  // namespace quorvel::sim
