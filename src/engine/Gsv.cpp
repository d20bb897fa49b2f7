#include "engine/Gsv.h"

#include "engine/SentenceFields.h"

namespace quorvel {

namespace {

constexpr std::size_t kHeaderFields = 4;  // address, messages, message number, in view
constexpr std::size_t kBlockFields = 4;   // id, elevation, azimuth, SNR
constexpr std::size_t kMaxBlocks = 4;

}  // namespace

std::optional<GsvFields> ReadGsv(std::string_view sentence) {
    const SentenceFields f = SplitSentence(sentence);
    const std::optional<std::string_view> talker = GnssTalker(f[0], "GSV");
    if (!talker) return std::nullopt;
    GsvFields gsv;
    gsv.talker = std::string(*talker);
    gsv.messages = NumberIn(f[1], 1, 99);
    gsv.messageNumber = NumberIn(f[2], 1, gsv.messages.value_or(99));
    gsv.inView = NumberIn(f[3], 0, 999);
    // The fields after the header: whole blocks, then one more for the signal id. Any other
    // count is a sentence cut short, read as far as its blocks go.
    const std::size_t rest = f.count > kHeaderFields ? f.count - kHeaderFields : 0;
    std::size_t blocks = (rest + kBlockFields - 1) / kBlockFields;
    if (rest % kBlockFields == 1 && !f.cut) {
        gsv.signalId = NumberIn(f[f.count - 1], 0, 15);
        --blocks;
    }
    for (std::size_t b = 0; b < blocks && b < kMaxBlocks; ++b) {
        const std::size_t at = kHeaderFields + b * kBlockFields;
        const GsvSatellite s{NumberIn(f[at], 1, 999), NumberIn(f[at + 1], 0, 90),
                             NumberIn(f[at + 2], 0, 359), NumberIn(f[at + 3], 0, 99)};
        if (s.id || s.elevation || s.azimuth || s.snr) gsv.satellites.push_back(s);
    }
    return gsv;
}

}  // namespace quorvel
