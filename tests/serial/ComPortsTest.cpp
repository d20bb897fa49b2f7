#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "link/ComPorts.h"
#include "serial/SerialTestSupport.h"

namespace quorvel {
namespace {

using testing::PortsFolder;
using testing::Pty;

struct TableCase {
    int number;
    const char* device;
};

class ComTableTest : public ::testing::TestWithParam<TableCase> {};

TEST_P(ComTableTest, NamesTheFixedDevice) {
#ifdef _WIN32
    GTEST_SKIP() << "the table is for Linux and macOS";
#else
    PortsFolder folder;
    EXPECT_EQ(ComDevicePath(GetParam().number, folder.Path()), GetParam().device);
#endif
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, ComTableTest,
    ::testing::Values(TableCase{1, "/dev/ttyS0"}, TableCase{32, "/dev/ttyS31"},
                      TableCase{33, "/dev/ttyUSB0"}, TableCase{64, "/dev/ttyUSB31"},
                      TableCase{65, "/dev/ttyACM0"}, TableCase{96, "/dev/ttyACM31"},
                      TableCase{97, "/dev/ttyAMA0"}, TableCase{101, "/dev/ttyAMA4"},
                      TableCase{0, ""}, TableCase{102, ""}, TableCase{-1, ""},
                      TableCase{32767, ""}));

TEST(ComPortsTest, WindowsNamesArePlainComNames) {
#ifdef _WIN32
    EXPECT_EQ(ComDevicePath(1, ""), "COM1");
    EXPECT_EQ(ComDevicePath(101, ""), "COM101");
    EXPECT_EQ(ComDevicePath(0, ""), "");
    EXPECT_EQ(ComDevicePath(102, ""), "");
#else
    GTEST_SKIP() << "Windows only";
#endif
}

#ifndef _WIN32

TEST(ComPortsTest, OverrideLinkWinsOverTheTable) {
    Pty pty;
    ASSERT_TRUE(pty.Ok());
    PortsFolder folder;
    folder.Link(7, pty.SlavePath());
    EXPECT_EQ(ComDevicePath(7, folder.Path()), pty.SlavePath());
    EXPECT_EQ(ComDevicePath(8, folder.Path()), "/dev/ttyS7");
}

TEST(ComPortsTest, OverrideLinkIsResolvedToTheDeviceBehindIt) {
    PortsFolder folder;
    std::ofstream(folder.Path() + "/device").put('x');
    std::filesystem::create_symlink("device", folder.Path() + "/middle");
    folder.Link(40, "middle");  // relative, and a link to a link
    const std::string device = std::filesystem::canonical(folder.Path() + "/device").string();
    EXPECT_EQ(ComDevicePath(40, folder.Path()), device);
}

TEST(ComPortsTest, DanglingOverrideLinkStillWins) {
    PortsFolder folder;
    folder.Link(3, "/nonexistent/ttyGone");
    folder.Link(4, "gone");
    EXPECT_EQ(ComDevicePath(3, folder.Path()), "/nonexistent/ttyGone");
    EXPECT_EQ(ComDevicePath(4, folder.Path()), folder.Path() + "/gone");
}

TEST(ComPortsTest, OnlyLowerCaseLinksInRangeCount) {
    Pty pty;
    ASSERT_TRUE(pty.Ok());
    PortsFolder folder;
    std::filesystem::create_symlink(pty.SlavePath(), folder.Path() + "/COM5");
    std::ofstream(folder.Path() + "/com6").put('x');  // a plain file is no override
    folder.Link(0, pty.SlavePath());
    folder.Link(102, pty.SlavePath());
    EXPECT_EQ(ComDevicePath(5, folder.Path()), "/dev/ttyS4");
    EXPECT_EQ(ComDevicePath(6, folder.Path()), "/dev/ttyS5");
    EXPECT_EQ(ComDevicePath(0, folder.Path()), "");
    EXPECT_EQ(ComDevicePath(102, folder.Path()), "");
}

TEST(ComPortsTest, MissingPortsFolderFallsBackToTheTable) {
    EXPECT_EQ(ComDevicePath(33, "/nonexistent/quorvel/ports"), "/dev/ttyUSB0");
    EXPECT_EQ(ComDevicePath(33, ""), "/dev/ttyUSB0");
}

TEST(ComPortsTest, DefaultPortsFolderIsInTheUserConfig) {
    const std::string folder = DefaultPortsFolder();
    EXPECT_TRUE(std::filesystem::path(folder).is_absolute()) << folder;
    EXPECT_TRUE(folder.ends_with("/quorvel/ports")) << folder;
}

TEST(ComToolTipTest, TableEntryShowsDeviceAndPresence) {
    PortsFolder folder;
    for (int number : {1, 33, 96, 101}) {
        const std::string device = ComDevicePath(number, folder.Path());
        const bool present = std::filesystem::exists(device);
        EXPECT_EQ(ComToolTip(number, folder.Path()),
                  device + (present ? " (present)" : " (not present)"));
    }
}

TEST(ComToolTipTest, HomeFolderIsShortened) {
    QTemporaryDir home(QDir::homePath() + "/.quorvel-test-XXXXXX");
    if (!home.isValid()) GTEST_SKIP() << "home folder not writable";
    std::filesystem::create_symlink("/nonexistent/ttyGone", home.filePath("com9").toStdString());
    const std::string shortFolder = "~" + home.path().mid(QDir::homePath().size()).toStdString();
    EXPECT_EQ(ComToolTip(9, home.path().toStdString()),
              shortFolder + "/com9 -> /nonexistent/ttyGone (not present)");
}

TEST(ComToolTipTest, OverrideShowsLinkAndTarget) {
    Pty pty;
    ASSERT_TRUE(pty.Ok());
    PortsFolder folder;
    folder.Link(7, pty.SlavePath());
    folder.Link(8, "/nonexistent/ttyGone");
    EXPECT_EQ(ComToolTip(7, folder.Path()),
              folder.LinkPath(7) + " -> " + pty.SlavePath() + " (present)");
    EXPECT_EQ(ComToolTip(8, folder.Path()),
              folder.LinkPath(8) + " -> /nonexistent/ttyGone (not present)");
}

TEST(ComToolTipTest, NumberWithoutPort) {
    EXPECT_EQ(ComToolTip(0, ""), "no port");
    EXPECT_EQ(ComToolTip(102, ""), "no port");
}

#endif

}  // namespace
}  // namespace quorvel
