#include "lab/cycle/Geo.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "engine/SentenceFields.h"

namespace quorvel::lab {

namespace {

constexpr double kA = 6378137.0;  // WGS84 semi-major axis, metres
constexpr double kF = 1 / 298.257223563;
constexpr double kB = kA * (1 - kF);
constexpr double kPi = std::numbers::pi;

double Radians(double degrees) { return degrees * kPi / 180; }

// Nearly antipodal points, where the ellipsoidal iteration does not settle: the great circle
// on a sphere of the mean radius, right to a few parts in a thousand.
double GreatCircleM(double phi1, double phi2, double lambda) {
    const double h = std::pow(std::sin((phi2 - phi1) / 2), 2) +
                     std::cos(phi1) * std::cos(phi2) * std::pow(std::sin(lambda / 2), 2);
    return 2 * (2 * kA + kB) / 3 * std::asin(std::min(1.0, std::sqrt(h)));
}

}  // namespace

// Vincenty's inverse formula.
double HorizontalErrorM(double lat1, double lon1, double lat2, double lon2) {
    const double phi1 = Radians(lat1), phi2 = Radians(lat2);
    // The shorter way round: 179.9 E to 179.9 W is 0.2 degrees, not 359.8.
    const double l = std::remainder(Radians(lon2 - lon1), 2 * kPi);
    const double u1 = std::atan2((1 - kF) * std::sin(phi1), std::cos(phi1));
    const double u2 = std::atan2((1 - kF) * std::sin(phi2), std::cos(phi2));
    const double sinU1 = std::sin(u1), cosU1 = std::cos(u1);
    const double sinU2 = std::sin(u2), cosU2 = std::cos(u2);
    double lambda = l;
    for (int i = 0; i < 200; ++i) {
        const double sinLambda = std::sin(lambda), cosLambda = std::cos(lambda);
        const double sinSigma =
            std::hypot(cosU2 * sinLambda, cosU1 * sinU2 - sinU1 * cosU2 * cosLambda);
        if (sinSigma == 0) return 0;  // the same point, or both at one pole
        const double cosSigma = sinU1 * sinU2 + cosU1 * cosU2 * cosLambda;
        const double sigma = std::atan2(sinSigma, cosSigma);
        const double sinAlpha = cosU1 * cosU2 * sinLambda / sinSigma;
        const double cos2Alpha = 1 - sinAlpha * sinAlpha;
        // On the equator the midpoint term vanishes.
        const double cos2SigmaM = cos2Alpha == 0 ? 0 : cosSigma - 2 * sinU1 * sinU2 / cos2Alpha;
        const double c = kF / 16 * cos2Alpha * (4 + kF * (4 - 3 * cos2Alpha));
        const double previous = lambda;
        lambda =
            l + (1 - c) * kF * sinAlpha *
                    (sigma + c * sinSigma *
                                 (cos2SigmaM + c * cosSigma * (-1 + 2 * cos2SigmaM * cos2SigmaM)));
        if (std::fabs(lambda - previous) > 1e-12) continue;
        const double uu = cos2Alpha * (kA * kA - kB * kB) / (kB * kB);
        const double bigA = 1 + uu / 16384 * (4096 + uu * (-768 + uu * (320 - 175 * uu)));
        const double bigB = uu / 1024 * (256 + uu * (-128 + uu * (74 - 47 * uu)));
        const double c2 = cos2SigmaM * cos2SigmaM;
        const double deltaSigma =
            bigB * sinSigma *
            (cos2SigmaM +
             bigB / 4 *
                 (cosSigma * (-1 + 2 * c2) -
                  bigB / 6 * cos2SigmaM * (-3 + 4 * sinSigma * sinSigma) * (-3 + 4 * c2)));
        return kB * bigA * (sigma - deltaSigma);
    }
    return GreatCircleM(phi1, phi2, l);
}

std::optional<Reference> ParseReference(std::string_view text) {
    std::optional<double> parts[3];
    std::size_t count = 0;
    for (std::size_t start = 0;;) {
        if (count == 3) return std::nullopt;
        const std::size_t comma = text.find(',', start);
        const std::optional<double> part = DecimalNumber(text.substr(start, comma - start), true);
        if (!part) return std::nullopt;
        parts[count++] = part;
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    if (count < 2 || std::fabs(*parts[0]) > 90 || std::fabs(*parts[1]) > 180) return std::nullopt;
    Reference reference{*parts[0], *parts[1], parts[2]};
    // From the deepest mine to well above any aircraft, as a GGA altitude is read.
    if (reference.altitude && (*reference.altitude < -1e4 || *reference.altitude > 1e5))
        return std::nullopt;
    return reference;
}

}  // namespace quorvel::lab
