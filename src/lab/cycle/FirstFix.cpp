#include "lab/cycle/FirstFix.h"

#include <cstdio>

namespace quorvel::lab {

std::string FirstFixRule::Text() const {
    std::string text = fix3d ? "3D fix" : "any fix";
    if (withinM && reference) {
        char within[128];
        std::snprintf(within, sizeof within, " within %g m of %.6f,%.6f", *withinM,
                      reference->latitude, reference->longitude);
        text += within;
    }
    return text;
}

std::optional<double> FirstFixRule::ErrorM(const GgaFields& gga) const {
    if (!reference || !gga.latitude || !gga.longitude) return std::nullopt;
    return HorizontalErrorM(reference->latitude, reference->longitude, *gga.latitude,
                            *gga.longitude);
}

bool FirstFixRule::Counts(const Epoch& epoch, std::optional<double> errorM) const {
    if (!epoch.gga.HasFix() || (fix3d && !epoch.fix3d)) return false;
    return !withinM || (errorM && *errorM <= *withinM);
}

}  // namespace quorvel::lab
