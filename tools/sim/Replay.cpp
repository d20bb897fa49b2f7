#include "sim/Replay.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace quorvel::sim {
namespace {

constexpr std::size_t kLinesWithoutGga = 10;
constexpr std::size_t kLargestBurst = 2048;

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t lf = text.find('\n');
        const std::size_t size = lf == std::string_view::npos ? text.size() : lf + 1;
        lines.push_back(text.substr(0, size));
        text.remove_prefix(size);
    }
    return lines;
}

bool IsGga(std::string_view line) {
    return line.size() > 6 && line[0] == '$' && line.substr(3, 3) == "GGA";
}

}  // namespace

std::vector<std::string> CaptureBursts(std::string_view capture) {
    std::vector<std::string_view> lines;
    bool anyGga = false;
    for (std::string_view line : Lines(capture)) {
        if (line.front() == '#') continue;
        lines.push_back(line);
        anyGga = anyGga || IsGga(line);
    }
    std::vector<std::string> bursts;
    std::string current;
    bool currentHasGga = false;
    std::size_t currentLines = 0;
    for (std::string_view line : lines) {
        const bool cycleEnds =
            anyGga ? (IsGga(line) && currentHasGga) : currentLines == kLinesWithoutGga;
        const bool tooLong = current.size() + line.size() > kLargestBurst;
        if (!current.empty() && (cycleEnds || tooLong)) {
            bursts.push_back(std::move(current));
            current.clear();
            currentHasGga = false;
            currentLines = 0;
        }
        current += line;
        currentHasGga = currentHasGga || IsGga(line);
        ++currentLines;
    }
    if (!current.empty()) bursts.push_back(std::move(current));
    return bursts;
}

bool ReadFile(const std::string& path, std::string& contents, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    contents = buffer.str();
    return true;
}

}  // namespace quorvel::sim
