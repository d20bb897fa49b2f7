#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Gga.h"

namespace quorvel::lab {

// One epoch of a receiver's output, as far as a fix is judged by it: the sentences of one
// second, which a receiver sends as one burst.
struct Epoch {
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

// The C/N0 a fix is journaled with, and how many seconds before the fix's epoch the satellite
// report it comes from was read (0: the fix's own epoch).
struct Cn0Reading {
    std::optional<double> cn0;
    std::optional<double> ageS;
};

// Groups a receiver's intact sentences into epochs and tells what each says of its fix.
//
// An epoch is a burst: sentences that arrive less than kBurstGapS apart, and that carry the same
// time where they carry one (GGA, RMC). So a GSA or GSV belongs to its own second whether the
// receiver sends it after its GGA (most do) or before it (a Quectel EG25-G modem sends GSV, GSA,
// GGA, RMC). A second GGA with the same time from another talker (GP and GA, or GP and GN) is
// part of the same epoch.
class Epochs {
  public:
    // Bursts of one second arrive within a few reads of each other; a second apart, epochs do
    // not. Receivers faster than that still change their time from one epoch to the next.
    static constexpr double kBurstGapS = 0.3;
    // Receivers that send their satellites only every few epochs (every 5th by default on
    // some): the last report this recent stands for the fix's epoch.
    static constexpr double kCn0NearS = 5;

    // One intact sentence, read at `at` (seconds, any clock the caller keeps). The epoch with a
    // GGA that it closed, when it begins the next burst; valid until the next call.
    const Epoch* Feed(std::string_view sentence, double at);
    // The epoch of the latest GGA, with its sentences as far as they have come; null before
    // the first GGA.
    const Epoch* Latest() const;
    // Whether the receiver has sent any GSA at all.
    bool GsaSeen() const { return gsaSeen_; }
    // The C/N0 of `epoch` from its own satellite report, or else from the last whole report
    // read within kCn0NearS before it; empty when there is none.
    Cn0Reading Cn0For(const Epoch& epoch) const;

  private:
    void Close();

    Epoch open_;
    Epoch closed_;
    bool openHasGga_ = false;
    bool closedHasGga_ = false;
    bool begun_ = false;     // a burst is open
    double lastAt_ = 0;      // when its last sentence came
    std::string time_;       // the time its GGA or RMC carries; empty: none yet
    std::string ggaTalkers_;  // of its GGAs, two characters each
    // The burst's satellite report is whole when each talker's last GSV came.
    int gsvGroups_ = 0, gsvGroupsEnded_ = 0;
    struct Sky {
        std::optional<double> cn0;
        double at;
    };
    std::optional<Sky> sky_;  // the last whole satellite report
    bool gsaSeen_ = false;
};

}  // namespace quorvel::lab
