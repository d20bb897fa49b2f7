#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "WorkingDir.h"
#include "link/SettingsFile.h"

namespace quorvel {
namespace {

using testing::IsSymlink;
using testing::ReadBytes;
using testing::WriteBytes;

class SettingsFileTest : public testing::InTemporaryDir {
  protected:
    SettingsFile file_;  // the bare name, in the working directory
    std::string port_ = "none";
    std::string baud_ = "none";
};

TEST_F(SettingsFileTest, WritesExactlyTheLineAndReadsItBack) {
    WriteBytes("Set.txt", "COM 101,921600\r\nsecond line that must go\r\n");
    ASSERT_TRUE(file_.Write("COM 4", "115200"));
    EXPECT_EQ(ReadBytes("Set.txt"), "COM 4,115200\r\n");
    ASSERT_TRUE(file_.Read(port_, baud_));
    EXPECT_EQ(port_, "COM 4");
    EXPECT_EQ(baud_, "115200");
}

TEST_F(SettingsFileTest, SymlinkToAFileKeepsTheLink) {
    WriteBytes("real.txt", "COM 2,1200\r\n");
    ASSERT_EQ(::symlink("real.txt", "Set.txt"), 0);
    ASSERT_TRUE(file_.Write("COM 3", "2400"));
    EXPECT_TRUE(IsSymlink("Set.txt"));
    EXPECT_EQ(ReadBytes("real.txt"), "COM 3,2400\r\n");
}

// The reader looks at a bounded prefix; a baud text that reaches the prefix's end may go on.
TEST_F(SettingsFileTest, BaudTextCutOffByTheReadLimitFails) {
    const std::string line = "COM 7,4800";
    const std::string upToLimit = std::string(kSettingsReadLimit - line.size(), ' ') + line;
    WriteBytes("Set.txt", upToLimit);
    ASSERT_TRUE(file_.Read(port_, baud_));
    EXPECT_EQ(baud_, "4800");
    WriteBytes("Set.txt", upToLimit + "0");
    EXPECT_FALSE(file_.Read(port_, baud_));
}

}  // namespace
}  // namespace quorvel
