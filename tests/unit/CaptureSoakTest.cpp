// Real receivers' output in any chunking, and days of cycling with faults in simulated time.
#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <regex>

#include "support/Harness.h"

// Live heap blocks and bytes of this test program.
namespace {
std::atomic<long long> liveBlocks{0}, liveBytes{0};
}  // namespace
void* operator new(std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    ++liveBlocks;
    liveBytes += static_cast<long long>(malloc_usable_size(p));
    return p;
}
void operator delete(void* p) noexcept {
    if (!p) return;
    --liveBlocks;
    liveBytes -= static_cast<long long>(malloc_usable_size(p));
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace quorvel::testing {
namespace {

std::vector<std::string> Analysed(const std::vector<std::string>& reads) {
    Recorder recorder;
    EngineFront f(CycleSettings{.observer = &recorder});
    f.display.keepHistory = false;
    f.port.open = true;
    f.state.RestartCountdown = 30;
    for (const auto& read : reads) f.Receive(read);
    return recorder.analysed;
}

// Timed GGA sentences with a valid checksum, one per line, as the capture holds them.
std::vector<std::string> WellFormedTimedGga(const std::string& bytes) {
    static const std::regex kGga(R"(\$..GGA,[^,*$][^*$\r\n]*\*[0-9A-F]{2})");
    std::vector<std::string> found;
    for (auto it = std::sregex_iterator(bytes.begin(), bytes.end(), kGga); it != std::sregex_iterator(); ++it) {
        const std::string s = it->str();
        if (WithChecksum(s.substr(1, s.size() - 4)) == s) found.push_back(s);
    }
    return found;
}

TEST(Captures, EveryChunkingAnalysesTheSameSentencesAndEachTimedGgaOnceInOrder) {
    int files = 0, sentences = 0;
    for (const auto& entry : std::filesystem::directory_iterator(QUORVEL_CAPTURES_DIR)) {
        if (entry.path().extension() != ".log") continue;
        SCOPED_TRACE(entry.path().filename().string());
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), {}};
        std::vector<std::string> bytewise, lines, random;
        for (char c : bytes) bytewise.emplace_back(1, c);
        std::mt19937 rng(7);
        for (std::size_t at = 0, n; at < bytes.size(); at += n)
            random.push_back(bytes.substr(at, n = 1 + rng() % 200));
        for (std::size_t at = 0, end; at < bytes.size(); at = end + 1)
            lines.push_back(bytes.substr(at, (end = std::min(bytes.find('\n', at), bytes.size())) + 1 - at));
        const auto whole = Analysed({bytes});
        EXPECT_EQ(Analysed(bytewise), whole);
        EXPECT_EQ(Analysed(lines), whole);
        EXPECT_EQ(Analysed(random), whole);
        // The well-formed ones come in their order, each as often as the receiver sent it.
        const auto wellFormed = WellFormedTimedGga(bytes);
        auto next = whole.begin();
        for (const auto& gga : wellFormed) {
            next = std::find(next, whole.end(), gga);
            ASSERT_NE(next, whole.end()) << ::testing::PrintToString(gga);
            ++next, ++sentences;
            ASSERT_EQ(std::count(whole.begin(), whole.end(), gga), std::count(wellFormed.begin(), wellFormed.end(), gga));
        }
        ++files;
    }
    EXPECT_GE(files, 28);
    EXPECT_GE(sentences, 1200);
}

// Days of episodes, each a fresh run on a receiver with a fault or none, reads cut anywhere.
TEST(Soak, DaysOfFaultsKeepTheStateSaneTheBufferBoundedAndTheHeapFlat) {
    EngineFront f;
    f.display.keepHistory = false;
    const std::pair<Script, int> episodes[] = {
        {{.split = 2}, 3600},
        {{.obey = 0, .split = 1}, 36000},  // ten hours without a restart: counters reach their limits
        {{.noise = true}, 600},
        {{.offFrom = 600, .offUntil = 900}, 1800},
        {{.restartDelay = 40, .every = 2}, 3600},
        {{.timeless = true}, 600},
        {{.offFrom = 0}, 60},
        {{.split = 1}, 3600},
    };
    long long blocks = -1, bytes = -1;
    for (int day = 0; day < 3; ++day) {
        for (const auto& [script, seconds] : episodes) {
            if (!f.display.status.empty()) f.Click();  // stop what the last episode left
            f.Click();
            Receiver receiver(script);
            for (int s = 0; s < seconds; ++s) {
                f.Second(&receiver, TickOrder::Alternate);
                const RunState& st = f.state;
                ASSERT_TRUE(st.Phase >= 0 && st.Phase <= 2 && st.ReceiveTick >= 0 && st.ReceiveTick <= 1000 &&
                            st.BaudCheckSeconds >= 0 && st.BaudCheckSeconds <= 9 && st.Sentence.empty() &&
                            st.RxBuffer.size() <= kMaxUnfinishedSentence && st.NoRespondSeconds >= 0 &&
                            st.ColdStartSeconds >= 0 && st.GgaCount >= 0);
            }
            if (script.obey == 0) {
                EXPECT_EQ(f.state.NoRespondSeconds, 32767);
                EXPECT_EQ(f.state.ColdStartSeconds, 32767);
                EXPECT_EQ(f.state.GgaCount, 32767);
            }
            for (auto* v : {&f.port.written, &f.port.calls, &f.settings.lines}) v->clear(), v->shrink_to_fit();
            f.orders = {}, f.confirmations = {};
        }
        if (day == 1) blocks = liveBlocks, bytes = liveBytes;  // the first day warms up
    }
    EXPECT_EQ(liveBlocks, blocks);
    EXPECT_EQ(liveBytes, bytes);
}

}  // namespace
}  // namespace quorvel::testing
