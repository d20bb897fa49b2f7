#pragma once

#include <string>
#include <string_view>

namespace quorvel {

// The time field of a GGA sentence as raw two-character parts (shorter or empty when the
// sentence ends early), exactly as the receiver sent them.
struct GgaTime {
    std::string hh;
    std::string mm;
    std::string ss;
};

GgaTime ReadGgaTime(std::string_view sentence);

// The number a text begins with, after leading blanks: optional sign, digits, optional
// decimal point and fraction. 0 when the text does not begin with a number.
double LeadingNumber(std::string_view text);

// 00:00:00 to 00:00:09: the clock of a receiver that has just restarted.
bool IsResetTime(const GgaTime& time);

}  // namespace quorvel
