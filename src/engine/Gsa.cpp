#include "engine/Gsa.h"

#include "engine/SentenceFields.h"

namespace quorvel {

namespace {

constexpr std::size_t kFixTypeField = 2;
constexpr std::size_t kFirstSatelliteField = 3;
constexpr std::size_t kSatelliteFields = 12;
// Twelve satellites, three DOPs and, from NMEA 4.1 on, the system id: 18 fields after the
// address.
constexpr std::size_t kSystemIdField = 18;

}  // namespace

std::optional<GsaFields> ReadGsa(std::string_view sentence) {
    const SentenceFields f = SplitSentence(sentence);
    const std::optional<std::string_view> talker = GnssTalker(f[0], "GSA");
    if (!talker) return std::nullopt;
    GsaFields gsa;
    gsa.talker = std::string(*talker);
    gsa.fixType = NumberIn(f[kFixTypeField], 1, 3);
    for (std::size_t i = kFirstSatelliteField; i < kFirstSatelliteField + kSatelliteFields; ++i) {
        if (const std::optional<int> id = NumberIn(f[i], 1, 999)) gsa.satellites.push_back(*id);
    }
    if (f.count == kSystemIdField + 1) gsa.systemId = NumberIn(f[kSystemIdField], 1, 15);
    return gsa;
}

}  // namespace quorvel
