#include "engine/Gga.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>

#include "engine/SentenceFields.h"

namespace quorvel {

namespace {

// Characters 8 to 13 of the sentence (counted from 1) hold hhmmss.
constexpr std::size_t kTimeFieldIndex = 7;
constexpr std::size_t kQualityField = 6;
constexpr std::size_t kSatellitesField = 7;
constexpr std::size_t kHdopField = 8;
constexpr std::size_t kLatitudeField = 2;   // ddmm.mmmm, then N or S
constexpr std::size_t kLongitudeField = 4;  // dddmm.mmmm, then E or W
constexpr std::size_t kAltitudeField = 9;   // then its unit, M

std::string Part(std::string_view sentence, std::size_t index) {
    if (index >= sentence.size()) return {};
    return std::string(sentence.substr(index, 2));
}

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

constexpr std::size_t kFieldsRead = kAltitudeField + 2;

// Fields 0 to kFieldsRead - 1 (the sentence type is field 0), each up to its comma or the
// checksum's "*"; a field after the last comma is empty. One pass: every GGA of every
// receiver comes here, twice in the lab.
std::array<std::string_view, kFieldsRead> Fields(std::string_view sentence) {
    std::array<std::string_view, kFieldsRead> fields{};
    std::size_t start = 0;
    for (std::string_view& field : fields) {
        std::size_t end = start;
        while (end < sentence.size() && sentence[end] != ',' && sentence[end] != '*') ++end;
        field = sentence.substr(start, end - start);
        const std::size_t comma = sentence.find(',', end);
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return fields;
}

// Degrees and minutes run together ("4807.038"), with the hemisphere that makes them negative.
std::optional<double> Angle(std::string_view text, std::string_view hemisphere, char positive,
                            char negative, double limit) {
    const std::optional<double> value = DecimalNumber(text);
    if (!value || hemisphere.size() != 1 ||
        (hemisphere[0] != positive && hemisphere[0] != negative))
        return std::nullopt;
    const double degrees = std::floor(*value / 100);
    const double minutes = *value - degrees * 100;
    const double angle = degrees + minutes / 60;
    if (minutes >= 60 || angle > limit) return std::nullopt;
    return hemisphere[0] == negative ? -angle : angle;
}

}  // namespace

GgaTime ReadGgaTime(std::string_view sentence) {
    return {Part(sentence, kTimeFieldIndex), Part(sentence, kTimeFieldIndex + 2),
            Part(sentence, kTimeFieldIndex + 4)};
}

GgaFields ReadGga(std::string_view sentence) {
    GgaFields gga;
    gga.hasTime = sentence.size() > kTimeFieldIndex && sentence[kTimeFieldIndex] != ',';
    gga.time = ReadGgaTime(sentence);
    const auto field = Fields(sentence);
    gga.quality = WholeNumber(field[kQualityField]);
    gga.satellites = WholeNumber(field[kSatellitesField]);
    gga.hdop = std::string(field[kHdopField]);
    gga.latitude =
        Angle(field[kLatitudeField], field[kLatitudeField + 1], 'N', 'S', 90);
    gga.longitude = Angle(field[kLongitudeField], field[kLongitudeField + 1],
                          'E', 'W', 180);
    const std::optional<double> altitude = DecimalNumber(field[kAltitudeField], true);
    // From the deepest mine to well above any aircraft: anything else is a damaged field.
    if (altitude && *altitude >= -1e4 && *altitude <= 1e5 &&
        field[kAltitudeField + 1] == "M")
        gga.altitude = altitude;
    return gga;
}

double LeadingNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    double sign = 1.0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') sign = -1.0;
        ++i;
    }
    double value = 0.0;
    for (; i < text.size() && IsDigit(text[i]); ++i) value = value * 10.0 + (text[i] - '0');
    if (i < text.size() && text[i] == '.') {
        double scale = 0.1;
        for (++i; i < text.size() && IsDigit(text[i]); ++i, scale /= 10.0) {
            value += (text[i] - '0') * scale;
        }
    }
    return sign * value;
}

std::optional<int> WholeNumber(std::string_view text) {
    if (text.empty() || text.size() > 9 || !std::all_of(text.begin(), text.end(), IsDigit))
        return std::nullopt;
    int value = 0;
    for (char c : text) value = value * 10 + (c - '0');
    return value;
}

bool IsResetTime(const GgaTime& time) {
    return LeadingNumber(time.hh) == 0.0 && LeadingNumber(time.mm) == 0.0 &&
           LeadingNumber(time.ss) < 10.0;
}

unsigned NmeaChecksum(std::string_view body) {
    unsigned sum = 0;
    for (const char c : body) sum ^= static_cast<unsigned char>(c);
    return sum;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool ChecksumMatches(std::string_view sentence) {
    const std::size_t star = sentence.find('*');
    if (sentence.empty() || sentence[0] != '$' || star == std::string_view::npos ||
        star + 3 != sentence.size())
        return false;
    const int high = HexValue(sentence[star + 1]), low = HexValue(sentence[star + 2]);
    return high >= 0 && low >= 0 &&
           static_cast<unsigned>(high * 16 + low) == NmeaChecksum(sentence.substr(1, star - 1));
}

}  // namespace quorvel
