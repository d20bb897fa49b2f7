#pragma once

#include <string>
#include <string_view>

namespace quorvel::sim {

// What a UART set to `portBaud` (8N1) decodes from a line on which `text` is sent at
// `lineBaud`: the framed bit stream is resampled at the port's rate. Any "$" that the
// resampling happens to produce is dropped, so the result never holds a sentence.
std::string Garble(std::string_view text, int lineBaud, int portBaud);

// The rate a mismatched receiver is taken to talk at when the port is set to `portBaud`.
int MismatchedRate(int portBaud);

}  // namespace quorvel::sim
