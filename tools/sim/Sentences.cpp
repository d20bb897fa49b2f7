#include "sim/Sentences.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "sim/Nmea.h"

namespace quorvel::sim {
namespace {

struct Satellite {
    int prn;
    int elevation;
    int azimuth;
    int snr;
};

// A sky of twelve satellites in view; all are used in the fix.
constexpr Satellite kSky[] = {
    {2, 5, 307, 18},   {3, 21, 174, 29}, {4, 12, 38, 23},   {7, 46, 259, 36},
    {8, 31, 143, 33},  {9, 67, 312, 41}, {16, 47, 64, 38},  {22, 8, 167, 24},
    {23, 68, 103, 40}, {26, 23, 45, 31}, {27, 12, 109, 26}, {30, 12, 249, 21},
};
constexpr int kSkySize = static_cast<int>(sizeof kSky / sizeof kSky[0]);
constexpr int kPerGsv = 4;

std::string Format(const char* format, auto... args) {
    char buffer[128];
    const int n = std::snprintf(buffer, sizeof buffer, format, args...);
    return std::string(buffer, n < 0 ? 0 : static_cast<std::size_t>(n));
}

std::string TimeField(const Epoch& e) {
    if (!e.timeKnown) return "";
    const int s = e.secondsOfDay % 86400;
    return Format("%02d%02d%02d.00", s / 3600, s / 60 % 60, s % 60);
}

std::string DateField(const Epoch& e) {
    if (!e.timeKnown || !e.dateKnown) return "";
    return Format("%02d%02d%02d", e.date.day, e.date.month, e.date.year % 100);
}

// "ddmm.mmmmm,N" or "dddmm.mmmmm,E"; empty fields without a fix.
std::string Coordinate(double degrees, int degreeDigits, char positive, char negative, bool fix) {
    if (!fix) return ",";
    const double a = std::fabs(degrees);
    int whole = static_cast<int>(a);
    // Rounded as printed, so 59.999999 minutes never shows as "60.00000".
    double minutes = std::round((a - whole) * 60.0 * 1e5) / 1e5;
    if (minutes >= 60.0) {
        ++whole;
        minutes -= 60.0;
    }
    const char hemisphere = degrees < 0 ? negative : positive;
    return Format("%0*d%08.5f,%c", degreeDigits, whole, minutes, hemisphere);
}

std::string Position(const Epoch& e) {
    return Coordinate(e.latitude, 2, 'N', 'S', e.fix) + "," +
           Coordinate(e.longitude, 3, 'E', 'W', e.fix);
}

int Snr(const Satellite& s, int jitter) { return s.snr + (jitter + s.prn) % 3 - 1; }

}  // namespace

Date NextDay(Date d) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (d.year % 4 == 0 && d.year % 100 != 0) || d.year % 400 == 0;
    const int inMonth = kDays[d.month - 1] + (d.month == 2 && leap ? 1 : 0);
    if (++d.day > inMonth) {
        d.day = 1;
        if (++d.month > 12) {
            d.month = 1;
            ++d.year;
        }
    }
    return d;
}

std::string Gga(const Epoch& e) {
    std::string body = "GPGGA," + TimeField(e) + "," + Position(e) + ",";
    if (e.fix) {
        body += Format("1,%02d,0.9,%.1f,M,46.9,M,,", kSkySize, e.altitude);
    } else {
        body += "0,00,99.99,,,,,,";
    }
    return FrameSentence(body);
}

std::string Rmc(const Epoch& e) {
    std::string body = "GPRMC," + TimeField(e) + (e.fix ? ",A," : ",V,") + Position(e) + ",";
    if (e.fix)
        body += Format("%.3f,%.2f", e.speedKnots, e.courseDegrees);
    else
        body += ",";
    body += ',';
    body += DateField(e);
    body += e.fix ? ",,,A" : ",,,N";
    return FrameSentence(body);
}

std::string Gsa(const Epoch& e) {
    std::string body = !e.fix ? "GPGSA,A,1" : e.twoD ? "GPGSA,A,2" : "GPGSA,A,3";
    for (int i = 0; i < 12; ++i) {
        body += ",";
        if (e.fix && i < kSkySize) body += Format("%02d", kSky[i].prn);
    }
    body += e.fix ? ",1.71,0.90,1.38" : ",99.99,99.99,99.99";
    return FrameSentence(body);
}

// A receiver reports the satellites it tracks before it has a fix, as real ones do while
// they acquire; only one that knows nothing yet (no time) shows none.
std::vector<std::string> Gsv(const Epoch& e) {
    if (!e.fix && !e.timeKnown) return {FrameSentence("GPGSV,1,1,00")};
    const int messages = (kSkySize + kPerGsv - 1) / kPerGsv;
    std::vector<std::string> out;
    for (int m = 0; m < messages; ++m) {
        std::string body = Format("GPGSV,%d,%d,%02d", messages, m + 1, kSkySize);
        for (int i = m * kPerGsv; i < kSkySize && i < (m + 1) * kPerGsv; ++i) {
            const Satellite& s = kSky[i];
            body += Format(",%02d,%02d,%03d,%02d", s.prn, s.elevation, s.azimuth, Snr(s, e.jitter));
        }
        out.push_back(FrameSentence(body));
    }
    return out;
}

std::string Vtg(const Epoch& e) {
    if (!e.fix) return FrameSentence("GPVTG,,T,,M,,N,,K,N");
    return FrameSentence(Format("GPVTG,%.2f,T,,M,%.3f,N,%.3f,K,A", e.courseDegrees, e.speedKnots,
                                e.speedKnots * 1.852));
}

std::string Burst(const Epoch& e) {
    std::string out = e.before + Gga(e) + Rmc(e) + (e.gsa ? Gsa(e) : "");
    for (const std::string& s : Gsv(e)) out += s;
    out += Vtg(e);
    return out;
}

}  // namespace quorvel::sim
