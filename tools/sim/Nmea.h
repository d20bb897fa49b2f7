#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel::sim {

// XOR of every character of `body`, the text between "$" and "*".
std::uint8_t NmeaChecksum(std::string_view body);

// "$" + body + "*" + two upper-case hex digits + CR LF.
std::string FrameSentence(std::string_view body);

// Printable form of raw bytes for the log: ASCII stays, backslash and quote are escaped,
// CR, LF and TAB become \r \n \t and every other byte \xNN.
std::string EscapeBytes(std::string_view bytes);

}  // namespace quorvel::sim
