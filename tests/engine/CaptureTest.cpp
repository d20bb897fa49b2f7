// Real receiver captures, fed through the receive event cut into reads in several ways.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "engine/GgaTime.h"
#include "engine/ScriptedReceiver.h"

namespace quorvel::testing {
namespace {

namespace fs = std::filesystem;

// The receiver's bytes: the file without its "#" comment lines.
std::string ReadCapture(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string line;
    std::string bytes;
    while (std::getline(in, line)) {
        if (!line.starts_with('#')) bytes += line + '\n';
    }
    return bytes;
}

std::vector<fs::path> Captures() {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(QUORVEL_CAPTURES_DIR)) {
        if (entry.path().extension() == ".log") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Reads of a fixed size, or of random sizes up to 300 bytes when `size` is 0.
std::vector<std::string> Chunks(const std::string& bytes, std::size_t size) {
    std::mt19937 random(4242);
    std::uniform_int_distribution<std::size_t> randomSize(1, 300);
    std::vector<std::string> reads;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t n = size > 0 ? size : randomSize(random);
        reads.push_back(bytes.substr(at, n));
        at += n;
    }
    return reads;
}

// Each read ends just before the next "$".
std::vector<std::string> SentencePerRead(const std::string& bytes) {
    std::vector<std::string> reads;
    std::size_t begin = 0;
    for (std::size_t at = bytes.find('$', 1); at != std::string::npos;
         at = bytes.find('$', at + 1)) {
        reads.push_back(bytes.substr(begin, at - begin));
        begin = at;
    }
    reads.push_back(bytes.substr(begin));
    return reads;
}

// Well-formed GGA sentences with a time: a "$", no other "$" before its "*", the two
// characters after the "*" (no "$" among them), not longer than the scan's bound.
std::vector<std::string> WellFormedTimedGga(const std::string& bytes) {
    std::vector<std::string> found;
    for (std::size_t start = bytes.find('$'); start != std::string::npos;
         start = bytes.find('$', start + 1)) {
        const std::size_t end = bytes.find_first_of("$*", start + 1);
        if (end == std::string::npos || bytes[end] != '*' || end + 2 >= bytes.size()) continue;
        const std::string sentence = bytes.substr(start, end + 3 - start);
        if (sentence.find('$', 1) != std::string::npos) continue;
        if (sentence.size() > kMaxUnfinishedSentence) continue;
        if (sentence.substr(3, 3) == "GGA" && sentence.size() >= 8 && sentence[7] != ',') {
            found.push_back(sentence);
        }
    }
    return found;
}

// What those sentences show one after the other; the captures never confirm a cold start.
std::vector<std::string> ExpectedShown(const std::vector<std::string>& ggas) {
    std::vector<std::string> shown;
    int counted = 0;
    for (const auto& gga : ggas) {
        const GgaTime time = ReadGgaTime(gga);
        if (counted < 5 && IsResetTime(time)) {
            shown.emplace_back(texts::kWaiting);
            continue;
        }
        EXPECT_FALSE(IsResetTime(time)) << "a capture that confirms needs a richer model";
        shown.push_back(texts::TimeText(time));
        ++counted;
    }
    return shown;
}

std::vector<std::string> FeedThrough(const std::vector<std::string>& reads) {
    SimulatedWindow w;
    w.state.RestartCountdown = 30;
    w.port.open = true;
    for (const auto& read : reads) w.Receive(read);
    EXPECT_LE(w.largestRxBuffer, kMaxUnfinishedSentence);
    return w.display.statusHistory;
}

TEST(Captures, EveryChunkingAnalysesEachTimedGgaOnceInOrder) {
    const auto files = Captures();
    ASSERT_GE(files.size(), 28u);
    std::size_t analysed = 0;
    for (const auto& file : files) {
        const std::string bytes = ReadCapture(file);
        const auto expected = ExpectedShown(WellFormedTimedGga(bytes));
        analysed += expected.size();
        const std::vector<std::vector<std::string>> chunkings = {
            {bytes}, Chunks(bytes, 1), Chunks(bytes, 0), SentencePerRead(bytes)};
        for (std::size_t i = 0; i < chunkings.size(); ++i) {
            SCOPED_TRACE(file.filename().string() + ", chunking " + std::to_string(i));
            EXPECT_EQ(FeedThrough(chunkings[i]), expected);
        }
    }
    EXPECT_GT(analysed, 1200u);
}

}  // namespace
}  // namespace quorvel::testing
