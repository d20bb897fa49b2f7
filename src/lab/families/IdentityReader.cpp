#include "lab/families/Frames.h"
#include "lab/families/FindAny.h"
#include "lab/families/Identity.h"

namespace quorvel::lab {

bool UbxIntact(std::string_view f) {
    if (f.size() < kUbxOverhead || Byte(f, 0) != 0xB5 || Byte(f, 1) != 0x62) return false;
    const std::size_t length = Byte(f, 4) | std::size_t{Byte(f, 5)} << 8;
    if (f.size() != length + kUbxOverhead) return false;
    std::uint8_t a = 0, b = 0;
    for (std::size_t i = 2; i + 2 < f.size(); ++i) {
        a = static_cast<std::uint8_t>(a + Byte(f, i));
        b = static_cast<std::uint8_t>(b + a);
    }
    return a == Byte(f, f.size() - 2) && b == Byte(f, f.size() - 1);
}

bool IdentityReader::Feed(std::string_view bytes) {
    // Most reads end where a sentence does: those are read where they lie, and only an
    // unfinished tail is kept.
    const bool inPlace = pending_.empty();
    if (!inPlace) pending_ += bytes;
    const std::string_view data = inPlace ? bytes : std::string_view(pending_);
    bool changed = false;
    std::size_t at =
        0;  // every byte before it is read; each is looked at a bounded number of times
    for (;;) {
        at = FindAny<'$', '\xB5'>(data, at);
        if (at == std::string_view::npos) {
            at = data.size();
            break;
        }
        if (data[at] == '$') {
            const std::size_t next = FindAny<'\n', '$', '\xB5'>(data, at + 1);
            if (next == std::string_view::npos) {
                if (data.size() - at > kSentenceMax) ++at;  // no line end in sight: no sentence
                if (data.size() - at > kSentenceMax) continue;
                break;
            }
            if (data[next] == '\n')
                changed |= ReadIdentity(data.substr(at, next + 1 - at), identity_);
            at = data[next] == '\n' ? next + 1 : next;  // else a sentence cut off by the next
            continue;
        }
        if (data.size() - at < 6) break;
        const std::size_t length = Byte(data, at + 4) | std::size_t{Byte(data, at + 5)} << 8;
        if (Byte(data, at + 1) != 0x62 || length > kUbxPayloadMax) {
            ++at;
            continue;
        }
        if (data.size() - at < length + kUbxOverhead) break;
        const std::string_view frame = data.substr(at, length + kUbxOverhead);
        changed |= ReadIdentity(frame, identity_);
        // An intact frame is consumed whole; a false sync only by its first byte.
        at += UbxIntact(frame) ? frame.size() : 1;
    }
    if (inPlace)
        pending_.assign(data.substr(at));
    else
        pending_.erase(0, at);
    return changed;
}

}  // namespace quorvel::lab
