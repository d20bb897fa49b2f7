#pragma once

#include <cstddef>
#include <string_view>

namespace quorvel::lab {

// Where the first of the bytes `Set` is in `data` from `at` on, or npos. Every byte a receiver
// sends passes here: std::string_view::find_first_of calls memchr on its set for each byte,
// which was the lab's largest cost with thousands of receivers.
template <char... Set>
std::size_t FindAny(std::string_view data, std::size_t at) {
    for (; at < data.size(); ++at)
        if (((data[at] == Set) || ...)) return at;
    return std::string_view::npos;
}

}  // namespace quorvel::lab
