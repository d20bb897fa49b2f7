#pragma once

#include <cstdio>
#include <string>

namespace quorvel::testing {

// Sentences as a receiver writes them, with a correct checksum (the engine does not check it).
inline std::string WithChecksum(const std::string& body) {
    unsigned char sum = 0;
    for (char c : body) sum ^= static_cast<unsigned char>(c);
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", sum);
    return "$" + body + "*" + hex;
}

inline std::string Gga(const std::string& time, const std::string& talker = "GP") {
    return WithChecksum(talker + "GGA," + time +
                        ",4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
}

inline std::string EmptyTimeGga() { return WithChecksum("GPGGA,,,,,,0,00,99.99,,,,,,"); }

inline std::string Gsa() { return WithChecksum("GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1"); }

inline std::string Rmc(const std::string& time) {
    return WithChecksum("GPRMC," + time + ",A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W");
}

// hhmmss.00 for a second of the day.
inline std::string ClockText(int secondOfDay) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d%02d%02d.00", secondOfDay / 3600 % 24,
                  secondOfDay / 60 % 60, secondOfDay % 60);
    return text;
}

inline std::string Line(const std::string& sentence) { return sentence + "\r\n"; }

}  // namespace quorvel::testing
