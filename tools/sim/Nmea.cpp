#include "sim/Nmea.h"

#include <cstdio>

namespace quorvel::sim {

std::uint8_t NmeaChecksum(std::string_view body) {
    std::uint8_t sum = 0;
    for (char c : body) sum ^= static_cast<std::uint8_t>(c);
    return sum;
}

std::string FrameSentence(std::string_view body) {
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", NmeaChecksum(body));
    std::string out;
    out.reserve(body.size() + 6);
    out += '$';
    out += body;
    out += tail;
    return out;
}

std::string EscapeBytes(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + 8);
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        switch (b) {
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            default:
                if (b >= 0x20 && b < 0x7F) {
                    out += c;
                } else {
                    char hex[5];
                    std::snprintf(hex, sizeof hex, "\\x%02X", b);
                    out += hex;
                }
        }
    }
    return out;
}

}  // namespace quorvel::sim
