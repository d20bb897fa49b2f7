#include "lab/FixQuality.h"

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

std::optional<double> FixEpoch::MeanCn0() const {
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

const FixEpoch* FixQuality::Feed(std::string_view sentence, double at) {
    if (sentence.size() < 7) return nullptr;
    const std::string_view type = sentence.substr(3, 3);
    if (type == "GGA") {
        const std::string_view talker = sentence.substr(1, 2);
        const std::string_view time = SplitSentence(sentence)[1];
        bool sameTalker = false;
        for (std::size_t i = 0; i + 1 < ggaTalkers_.size(); i += 2)
            sameTalker = sameTalker || ggaTalkers_.compare(i, 2, talker) == 0;
        if (ggaSeen_ && !sameTalker && time == ggaTime_) {
            ggaTalkers_ += talker;
            return nullptr;
        }
        const FixEpoch* closed = nullptr;
        if (ggaSeen_) {
            std::swap(open_, closed_);
            closed = &closed_;
        }
        ggaSeen_ = true;
        ggaTalkers_ = talker;
        ggaTime_ = time;
        open_.gga = ReadGga(sentence);
        open_.at = at;
        open_.gsa = open_.fix3d = open_.gsv = false;
        open_.tracked.clear();  // keeps its room: no allocation once the sky is known
        return closed;
    }
    if (type == "GSA") {
        const std::optional<GsaFields> gsa = ReadGsa(sentence);
        if (!gsa) return nullptr;
        gsaSeen_ = true;
        if (!ggaSeen_) return nullptr;
        open_.gsa = true;
        open_.fix3d = open_.fix3d || gsa->fixType == 3;
        return nullptr;
    }
    if (type == "GSV" && ggaSeen_) {
        const std::optional<GsvFields> gsv = ReadGsv(sentence);
        if (!gsv) return nullptr;
        open_.gsv = true;
        for (const GsvSatellite& s : gsv->satellites) {
            if (!s.snr) continue;
            const int key = s.id ? SatelliteKey(gsv->talker, *s.id) : 0;
            const auto same =
                std::find_if(open_.tracked.begin(), open_.tracked.end(),
                             [&](const FixEpoch::Tracked& t) { return key != 0 && t.key == key; });
            if (same == open_.tracked.end())
                open_.tracked.push_back({key, *s.snr});
            else
                same->snr = std::max(same->snr, *s.snr);
        }
    }
    return nullptr;
}

}  // namespace quorvel::lab
