// What the receiver hears, and the COM link it leaves for the tool.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "sim/CommandLog.h"
#include "sim/PortLink.h"

namespace quorvel::sim {
namespace {

TEST(CommandLog, CutsCommandsAtLineEndsAcrossReads) {
    CommandLog log;
    EXPECT_TRUE(log.Feed("$PXEMS").empty());
    EXPECT_TRUE(log.HasPending());
    const auto commands = log.Feed("RT,C*3A\r\n$PX");
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0], "$PXEMSRT,C*3A\r\n");
    EXPECT_TRUE(IsColdStartOrder(commands[0]));
    EXPECT_EQ(log.TakePending(), "$PX");
    EXPECT_FALSE(log.HasPending());
    for (const char* other : {"$PXEMSRT,C*3A\n", "$pxemsrt,c*3a\r\n", "$PXEMSRT,H*3A\r\n"}) {
        EXPECT_FALSE(IsColdStartOrder(other)) << other;
    }
}

TEST(CommandLog, EndlessTextWithoutLineEndIsCutToo) {
    CommandLog log;
    const auto commands = log.Feed(std::string(1200, 'x'));
    EXPECT_EQ(commands.size(), 2u);
    EXPECT_TRUE(log.HasPending());
}

class PortLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/quorvel-sim-link-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
        dir_ = root_ + "/nested/ports";
    }
    void TearDown() override {
        const std::string command = "rm -rf '" + root_ + "'";
        [[maybe_unused]] int rc = std::system(command.c_str());
    }
    std::string Target(const std::string& path) {
        char buffer[256];
        const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
        return n < 0 ? "" : std::string(buffer, static_cast<std::size_t>(n));
    }
    bool Exists(const std::string& path) {
        struct stat st {};
        return ::lstat(path.c_str(), &st) == 0;
    }
    std::string root_, dir_;
};

TEST_F(PortLinkTest, MakesTheFolderAndLinkAndRemovesIt) {
    std::string message;
    {
        PortLink link;
        ASSERT_EQ(link.Make(dir_, 7, "/dev/pts/77", message), PortLink::Result::Made) << message;
        EXPECT_EQ(link.path(), dir_ + "/com7");
        EXPECT_EQ(Target(dir_ + "/com7"), "/dev/pts/77");
    }
    EXPECT_FALSE(Exists(dir_ + "/com7"));
}

TEST_F(PortLinkTest, RefusesAFileInTheWay) {
    std::string message;
    PortLink probe;
    ASSERT_EQ(probe.Make(dir_, 1, "/dev/null", message), PortLink::Result::Made);
    probe.Remove();
    std::ofstream(dir_ + "/com5") << "not a link";
    PortLink link;
    EXPECT_EQ(link.Make(dir_, 5, "/dev/pts/9", message), PortLink::Result::InTheWay);
    EXPECT_NE(message.find("com5"), std::string::npos);
    link.Remove();
    EXPECT_TRUE(Exists(dir_ + "/com5"));
}

}  // namespace
}  // namespace quorvel::sim
