#include "lab/Echo.h"

#include <algorithm>
#include <utility>

namespace quorvel::lab {
namespace {

// Where an echo can begin: an NMEA sentence or a UBX frame.
constexpr std::string_view kStarts("$\xB5", 2);

}  // namespace

void EchoFilter::Sent(std::string_view bytes) {
    if (bytes.empty() || std::find(sent_.begin(), sent_.end(), bytes) != sent_.end()) return;
    if (sent_.size() == kRemembered) sent_.erase(sent_.begin());
    sent_.emplace_back(bytes);
}

std::string EchoFilter::Filter(std::string_view bytes) {
    if (sent_.empty()) return std::string(bytes);
    std::string in = std::exchange(held_, {});
    in += bytes;
    std::string out;
    out.reserve(in.size());
    for (std::size_t at = 0; at < in.size();) {
        const std::size_t start = in.find_first_of(kStarts, at);
        out.append(in, at, start == std::string::npos ? std::string::npos : start - at);
        if (start == std::string::npos) break;
        const std::string_view rest = std::string_view(in).substr(start);
        bool partial = false;
        std::size_t echo = 0;
        for (const std::string& s : sent_) {
            if (rest.starts_with(s)) echo = std::max(echo, s.size());
            partial = partial || (rest.size() < s.size() && std::string_view(s).starts_with(rest));
        }
        if (echo > 0) {
            ++echoes_;
            at = start + echo;
        } else if (partial) {
            held_ = rest;
            break;
        } else {
            out += in[start];
            at = start + 1;
        }
    }
    return out;
}

}  // namespace quorvel::lab
