#include "engine/SentenceFields.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "engine/Gga.h"

namespace quorvel {

namespace {

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

}  // namespace

// One pass over the bytes: the fields are short, and a search call for each cost more than
// the search.
SentenceFields SplitSentence(std::string_view sentence) {
    if (!sentence.empty() && sentence.front() == '$') sentence.remove_prefix(1);
    SentenceFields out;
    std::size_t start = 0;
    for (std::size_t at = 0;; ++at) {
        const bool end = at == sentence.size() || sentence[at] == '*';
        if (!end && sentence[at] != ',') continue;
        if (out.count == SentenceFields::kSlots) {
            out.cut = true;
            return out;
        }
        out.field[out.count++] = sentence.substr(start, at - start);
        if (end) return out;
        start = at + 1;
    }
}

std::optional<std::string_view> GnssTalker(std::string_view address, std::string_view type) {
    static constexpr std::string_view kTalkers[] = {"GP", "GL", "GA", "GB", "BD", "GQ", "GN"};
    if (address.size() != 5 || address.substr(2) != type) return std::nullopt;
    const std::string_view talker = address.substr(0, 2);
    if (std::find(std::begin(kTalkers), std::end(kTalkers), talker) == std::end(kTalkers))
        return std::nullopt;
    return talker;
}

std::optional<double> DecimalNumber(std::string_view text, bool sign) {
    const std::string_view digits = sign && text.starts_with('-') ? text.substr(1) : text;
    const std::size_t point = digits.find('.');
    const std::string_view whole = digits.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view{} : digits.substr(point + 1);
    if (whole.empty() || !std::all_of(whole.begin(), whole.end(), IsDigit) ||
        !std::all_of(fraction.begin(), fraction.end(), IsDigit) ||
        (point != std::string_view::npos && fraction.empty()))
        return std::nullopt;
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

std::optional<int> NumberIn(std::string_view text, int low, int high) {
    const std::optional<int> value = WholeNumber(text);
    if (!value || *value < low || *value > high) return std::nullopt;
    return value;
}

}  // namespace quorvel
