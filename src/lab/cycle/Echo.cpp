#include "lab/cycle/Echo.h"

#include <algorithm>
#include <utility>

#include "lab/families/FindAny.h"

namespace quorvel::lab {
namespace {

// Where an echo can begin: an NMEA sentence or a UBX frame.
std::size_t NextStart(std::string_view in, std::size_t at) {
    return FindAny<'$', '\xB5'>(in, at);
}

}  // namespace

void EchoFilter::Sent(std::string_view bytes) {
    if (bytes.empty() || std::find(sent_.begin(), sent_.end(), bytes) != sent_.end()) return;
    if (sent_.size() == kRemembered) sent_.erase(sent_.begin());
    sent_.emplace_back(bytes);
}

std::string EchoFilter::Filter(std::string bytes) {
    if (sent_.empty()) return bytes;
    std::string in = held_.empty() ? std::move(bytes) : std::exchange(held_, {}) + bytes;
    std::string out;
    std::size_t copied = 0;  // `in` up to here is in `out`; nothing was taken out before it
    for (std::size_t at = NextStart(in, 0); at != std::string::npos; at = NextStart(in, at + 1)) {
        const std::string_view rest = std::string_view(in).substr(at);
        bool partial = false;
        std::size_t echo = 0;
        for (const std::string& s : sent_) {
            if (rest.starts_with(s)) echo = std::max(echo, s.size());
            partial = partial || (rest.size() < s.size() && std::string_view(s).starts_with(rest));
        }
        if (echo == 0 && !partial) continue;
        out.append(in, copied, at - copied);
        if (partial && echo == 0) {
            held_ = rest;
            return out;
        }
        ++echoes_;
        copied = at + echo;
        at = copied - 1;
    }
    // The common case, nothing taken out: the text as it came, not copied.
    if (copied == 0) return in;
    out.append(in, copied, std::string::npos);
    return out;
}

}  // namespace quorvel::lab
