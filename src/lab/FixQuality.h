#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Gga.h"

namespace quorvel::lab {

// One epoch of a receiver's output, as far as a fix is judged by it: from a GGA up to the GGA
// that begins the next epoch.
struct FixEpoch {
    GgaFields gga;       // the epoch's first GGA
    double at = 0;       // when that GGA was read, on the feeder's clock
    bool gsa = false;    // a GSA came in the epoch
    bool fix3d = false;  // one of its GSAs, whichever system it speaks of, says fix type 3
    bool gsv = false;    // a GSV came in the epoch
    // The mean C/N0 (dB-Hz) of the four strongest satellites the epoch's GSVs show tracked,
    // all talkers; of fewer when fewer are tracked. Empty without a tracked satellite.
    std::optional<double> MeanCn0() const;

    struct Tracked {
        int key;  // talker and id; 0 when the id is unknown
        int snr;
    };
    std::vector<Tracked> tracked;  // each satellite once, at its strongest signal
};

// Groups a receiver's intact sentences into epochs and tells what each says of its fix.
//
// An epoch begins at a GGA and holds the GSA and GSV sentences up to the next GGA that begins
// an epoch: receivers send their GGA before their GSA and GSV (every capture we hold but one:
// a Quectel EG25-G modem sends its GSV and GSA before its GGA, so its epochs take the next
// second's). A second GGA with the same time from another talker (GP and GA, or GP and GN) is
// part of the same epoch. The sentences before the first GGA belong to no epoch.
class FixQuality {
  public:
    // One intact sentence, read at `at` (any clock the caller keeps). The epoch it closed, when
    // it is a GGA that begins the next one; valid until the next call.
    const FixEpoch* Feed(std::string_view sentence, double at);
    // The epoch of the latest GGA, with its sentences as far as they have come; null before
    // the first GGA.
    const FixEpoch* Latest() const { return ggaSeen_ ? &open_ : nullptr; }
    // Whether the receiver has sent any GSA at all.
    bool GsaSeen() const { return gsaSeen_; }

  private:
    FixEpoch open_;
    FixEpoch closed_;
    std::string ggaTalkers_;  // of the open epoch's GGAs, two characters each
    std::string ggaTime_;     // the time field of the open epoch's first GGA
    bool ggaSeen_ = false;
    bool gsaSeen_ = false;
};

}  // namespace quorvel::lab
