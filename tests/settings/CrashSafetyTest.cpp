#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <new>
#include <random>
#include <string>

#include "WorkingDir.h"
#include "link/SettingsFile.h"

namespace quorvel {
namespace {

using testing::ReadBytes;
using testing::WriteBytes;

const std::string kLineA = "COM 1,9600\r\n";
const std::string kLineB = "COM 101,921600\r\n";

// A writer killed at any moment leaves one whole line, the old one or the new one.
class SettingsCrashTest : public testing::InTemporaryDir {};

TEST_F(SettingsCrashTest, KilledWriterLeavesAWholeLine) {
    WriteBytes("Set.txt", kLineA);
    // Counters the children share with this process: writes begun and writes finished.
    void* shared = ::mmap(nullptr, 2 * sizeof(std::atomic<long>), PROT_READ | PROT_WRITE,
                          MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(shared, MAP_FAILED);
    auto* begun = new (shared) std::atomic<long>(0);
    auto* finished = new (begun + 1) std::atomic<long>(0);

    std::mt19937 random(20240601);
    std::uniform_int_distribution<int> delayUs(0, 8000);
    constexpr int kRounds = 200;
    for (int round = 0; round < kRounds; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::alarm(10);  // in case the parent never gets to kill it
            // Always begin with the line the file does not hold, so every write changes it.
            const bool holdsA = ReadBytes("Set.txt") == kLineA;
            SettingsFile file;
            for (bool writeB = holdsA;; writeB = !writeB) {
                ++*begun;
                if (writeB ? file.Write("COM 101", "921600") : file.Write("COM 1", "9600")) {
                    ++*finished;
                }
            }
        }
        ::usleep(static_cast<useconds_t>(delayUs(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "round " << round;

        const std::string content = ReadBytes("Set.txt");
        ASSERT_TRUE(content == kLineA || content == kLineB)
            << "round " << round << " left " << ::testing::PrintToString(content);
    }
    // Each round ends at most one write half-way; most of them should have.
    const long killedMidWrite = begun->load() - finished->load();
    EXPECT_GT(killedMidWrite, kRounds / 4) << "the kills missed the writes";
    EXPECT_GT(finished->load(), 0) << "the writer never finished a line";
    ::munmap(shared, 2 * sizeof(std::atomic<long>));
}

}  // namespace
}  // namespace quorvel
