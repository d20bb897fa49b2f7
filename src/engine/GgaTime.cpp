#include "engine/GgaTime.h"

#include <cctype>

namespace quorvel {

namespace {

// Characters 8 to 13 of the sentence (counted from 1) hold hhmmss.
constexpr std::size_t kTimeFieldIndex = 7;

std::string Part(std::string_view sentence, std::size_t index) {
    if (index >= sentence.size()) return {};
    return std::string(sentence.substr(index, 2));
}

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

}  // namespace

GgaTime ReadGgaTime(std::string_view sentence) {
    return {Part(sentence, kTimeFieldIndex), Part(sentence, kTimeFieldIndex + 2),
            Part(sentence, kTimeFieldIndex + 4)};
}

double LeadingNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    double sign = 1.0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') sign = -1.0;
        ++i;
    }
    double value = 0.0;
    for (; i < text.size() && IsDigit(text[i]); ++i) value = value * 10.0 + (text[i] - '0');
    if (i < text.size() && text[i] == '.') {
        double scale = 0.1;
        for (++i; i < text.size() && IsDigit(text[i]); ++i, scale /= 10.0) {
            value += (text[i] - '0') * scale;
        }
    }
    return sign * value;
}

bool IsResetTime(const GgaTime& time) {
    return LeadingNumber(time.hh) == 0.0 && LeadingNumber(time.mm) == 0.0 &&
           LeadingNumber(time.ss) < 10.0;
}

}  // namespace quorvel
