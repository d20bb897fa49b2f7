#include "lab/cycle/Epochs.h"

#include <algorithm>
#include <functional>

#include "engine/Gsa.h"
#include "engine/Gsv.h"
#include "engine/SentenceFields.h"

namespace quorvel::lab {

namespace {

constexpr int kStrongest = 4;

// One number per satellite of one system: the talker's letters and the id.
int SatelliteKey(std::string_view talker, int id) {
    return (static_cast<unsigned char>(talker[0]) << 24) |
           (static_cast<unsigned char>(talker[1]) << 16) | id;
}

}  // namespace

std::optional<double> Epoch::MeanCn0() const {
    if (tracked.empty()) return std::nullopt;
    std::vector<int> snrs;
    snrs.reserve(tracked.size());
    for (const Tracked& t : tracked) snrs.push_back(t.snr);
    const std::size_t n = std::min<std::size_t>(kStrongest, snrs.size());
    std::partial_sort(snrs.begin(), snrs.begin() + n, snrs.end(), std::greater<>());
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i) sum += snrs[i];
    return sum / n;
}

const Epoch* Epochs::Latest() const {
    if (openHasGga_) return &open_;
    return closedHasGga_ ? &closed_ : nullptr;
}

Cn0Reading Epochs::Cn0For(const Epoch& epoch) const {
    if (epoch.gsv) return {epoch.MeanCn0(), epoch.MeanCn0() ? std::optional(0.0) : std::nullopt};
    if (!sky_ || !sky_->cn0 || epoch.at - sky_->at > kCn0NearS || sky_->at > epoch.at) return {};
    return {sky_->cn0, epoch.at - sky_->at};
}

// The open burst becomes the closed one; its satellites are remembered when they were whole.
void Epochs::Close() {
    if (gsvGroups_ > 0 && gsvGroupsEnded_ >= gsvGroups_) sky_ = Sky{open_.MeanCn0(), lastAt_};
    if (openHasGga_) {
        std::swap(open_, closed_);
        closedHasGga_ = true;
    }
    openHasGga_ = false;
    open_.gga = {};
    open_.gsa = open_.fix3d = open_.gsv = false;
    open_.tracked.clear();  // keeps its room: no allocation once the sky is known
    time_.clear();
    ggaTalkers_.clear();
    gsvGroups_ = gsvGroupsEnded_ = 0;
}

const Epoch* Epochs::Feed(std::string_view sentence, double at) {
    if (sentence.size() < 7) return nullptr;
    const std::string_view type = sentence.substr(3, 3);
    const bool timed = type == "GGA" || type == "RMC";
    const std::string_view time = timed ? SplitSentence(sentence)[1] : std::string_view();
    const std::string_view talker = sentence.substr(1, 2);
    bool again = false;  // a second GGA of one talker: the next epoch
    for (std::size_t i = 0; type == "GGA" && i + 1 < ggaTalkers_.size(); i += 2)
        again = again || ggaTalkers_.compare(i, 2, talker) == 0;
    const bool otherTime = !time.empty() && !time_.empty() && time != time_;
    const Epoch* closed = nullptr;
    if (begun_ && (at - lastAt_ > kBurstGapS || otherTime || again)) {
        const bool hadGga = openHasGga_;
        Close();
        if (hadGga) closed = &closed_;
    }
    begun_ = true;
    lastAt_ = at;
    if (time_.empty()) time_ = time;

    if (type == "GGA") {
        ggaTalkers_ += talker;
        if (openHasGga_) return closed;
        openHasGga_ = true;
        open_.gga = ReadGga(sentence);
        open_.at = at;
    } else if (type == "GSA") {
        const std::optional<GsaFields> gsa = ReadGsa(sentence);
        if (!gsa) return closed;
        gsaSeen_ = true;
        open_.gsa = true;
        open_.fix3d = open_.fix3d || gsa->fixType == 3;
    } else if (type == "GSV") {
        const std::optional<GsvFields> gsv = ReadGsv(sentence);
        if (!gsv) return closed;
        open_.gsv = true;
        if (gsv->messageNumber == 1) ++gsvGroups_;
        if (gsv->messages && gsv->messageNumber == gsv->messages) ++gsvGroupsEnded_;
        for (const GsvSatellite& s : gsv->satellites) {
            if (!s.snr) continue;
            const int key = s.id ? SatelliteKey(gsv->talker, *s.id) : 0;
            const auto same =
                std::find_if(open_.tracked.begin(), open_.tracked.end(),
                             [&](const Epoch::Tracked& t) { return key != 0 && t.key == key; });
            if (same == open_.tracked.end())
                open_.tracked.push_back({key, *s.snr});
            else
                same->snr = std::max(same->snr, *s.snr);
        }
    }
    return closed;
}

}  // namespace quorvel::lab
