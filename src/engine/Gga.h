#pragma once

#include <optional>
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

// What the cycle and its front ends use of one GGA sentence, read once. "Unknown" is explicit:
// an empty or malformed field is empty here, never 0.
struct GgaFields {
    bool hasTime = false;  // the time field is not empty
    GgaTime time;          // read by position, as the window shows it
    std::optional<int> quality;
    std::optional<int> satellites;
    std::string hdop;  // as the receiver sent it
    std::optional<double> latitude;   // decimal degrees, north positive
    std::optional<double> longitude;  // decimal degrees, east positive
    std::optional<double> altitude;   // metres above mean sea level

    // A GNSS fix: qualities 6 (dead reckoning), 7 (manual input) and 8 (simulator) are not.
    bool HasFix() const { return quality && *quality >= 1 && *quality <= 5; }
};

GgaTime ReadGgaTime(std::string_view sentence);
GgaFields ReadGga(std::string_view sentence);

// The number a text begins with, after leading blanks: optional sign, digits, optional
// decimal point and fraction. 0 when the text does not begin with a number.
double LeadingNumber(std::string_view text);

// A field that is a whole number of at most nine digits and nothing else; otherwise empty.
std::optional<int> WholeNumber(std::string_view text);

// 00:00:00 to 00:00:09: the clock of a receiver that has just restarted.
bool IsResetTime(const GgaTime& time);

// Whether the sentence's "*hh" is the XOR of the characters between "$" and "*".
bool ChecksumMatches(std::string_view sentence);
// The XOR of a sentence's characters between "$" and "*": what its "*hh" says.
unsigned NmeaChecksum(std::string_view body);
// A hex digit's value, either case; -1 for any other character.
int HexValue(char c);

}  // namespace quorvel
