#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace quorvel {

// The fields of a sentence between "$" and "*", in order; field 0 is the address ("GPGSV").
// A sentence with more fields than slots is cut at the last slot.
struct SentenceFields {
    static constexpr std::size_t kSlots = 24;
    std::array<std::string_view, kSlots> field;
    std::size_t count = 0;
    bool cut = false;  // fields past the last slot were not read

    std::string_view operator[](std::size_t index) const {
        return index < count ? field[index] : std::string_view{};
    }
};

SentenceFields SplitSentence(std::string_view sentence);

// The talker of a satellite system's sentence of `type` ("GSA"): GP, GL, GA, GB, BD, GQ or
// GN. Empty for another talker or type.
std::optional<std::string_view> GnssTalker(std::string_view address, std::string_view type);

// A field that is digits with an optional fraction ("12", "12.5"), after an optional "-" when
// `sign` allows one; otherwise empty. Never an exponent, "inf" or "nan".
std::optional<double> DecimalNumber(std::string_view text, bool sign = false);

// A whole number from `low` to `high`; otherwise empty.
std::optional<int> NumberIn(std::string_view text, int low, int high);

}  // namespace quorvel
