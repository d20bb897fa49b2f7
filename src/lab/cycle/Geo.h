#pragma once

#include <optional>
#include <string_view>

namespace quorvel::lab {

// A surveyed antenna position: WGS84, decimal degrees, north and east positive.
struct Reference {
    double latitude = 0;
    double longitude = 0;
    std::optional<double> altitude;  // metres
};

// The distance in metres between two points on the WGS84 ellipsoid, along the geodesic: the
// horizontal error of a fix against a reference. Right to well under a millimetre at the
// distances a fix is off by, across the antimeridian and at the poles too.
double HorizontalErrorM(double lat1, double lon1, double lat2, double lon2);

// "LAT,LON" or "LAT,LON,ALT": decimal degrees (an optional "-", digits, an optional
// fraction), latitude -90 to 90, longitude -180 to 180, altitude in metres. Empty for
// anything else.
std::optional<Reference> ParseReference(std::string_view text);

}  // namespace quorvel::lab
