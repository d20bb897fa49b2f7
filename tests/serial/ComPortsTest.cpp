#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "link/ComPorts.h"
#include "serial/SerialTestSupport.h"

namespace quorvel {
namespace {

using testing::PortsFolder;

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

TEST(ComPortsTest, TableNamesTheFixedDeviceAtEachBoundary) {
    const std::pair<int, const char*> table[] = {{1, "/dev/ttyS0"},
                                                 {32, "/dev/ttyS31"},
                                                 {33, "/dev/ttyUSB0"},
                                                 {64, "/dev/ttyUSB31"},
                                                 {65, "/dev/ttyACM0"},
                                                 {96, "/dev/ttyACM31"},
                                                 {97, "/dev/ttyAMA0"},
                                                 {101, "/dev/ttyAMA4"},
                                                 {0, ""},
                                                 {102, ""},
                                                 {-1, ""}};
    PortsFolder folder;
    for (const auto& [number, device] : table) {
        EXPECT_EQ(ComDevicePath(number, folder.Path()), device) << number;
    }
    EXPECT_EQ(ComDevicePath(33, "/nonexistent/quorvel/ports"), "/dev/ttyUSB0");
    EXPECT_EQ(ComDevicePath(33, ""), "/dev/ttyUSB0");
}

TEST(ComPortsTest, OverrideLinkWinsEvenWhenDangling) {
    PortsFolder folder;
    std::ofstream(folder.Path() + "/device").put('x');
    std::filesystem::create_symlink("device", folder.Path() + "/middle");
    folder.Link(40, "middle");  // relative, and a link to a link
    folder.Link(3, "/nonexistent/ttyGone");
    folder.Link(4, "gone");
    const std::string device = std::filesystem::canonical(folder.Path() + "/device").string();
    EXPECT_EQ(ComDevicePath(40, folder.Path()), device);
    EXPECT_EQ(ComDevicePath(3, folder.Path()), "/nonexistent/ttyGone");
    EXPECT_EQ(ComDevicePath(4, folder.Path()), folder.Path() + "/gone");
    EXPECT_EQ(ComDevicePath(8, folder.Path()), "/dev/ttyS7");
}

TEST(ComPortsTest, OnlyLowerCaseLinksInRangeCount) {
    PortsFolder folder;
    std::filesystem::create_symlink("/dev/null", folder.Path() + "/COM5");
    std::ofstream(folder.Path() + "/com6").put('x');  // a plain file is no override
    folder.Link(102, "/dev/null");
    EXPECT_EQ(ComDevicePath(5, folder.Path()), "/dev/ttyS4");
    EXPECT_EQ(ComDevicePath(6, folder.Path()), "/dev/ttyS5");
    EXPECT_EQ(ComDevicePath(102, folder.Path()), "");
}

TEST(ComToolTipTest, ShowsDeviceLinkAndPresence) {
    PortsFolder folder;
    folder.Link(7, "/dev/null");
    folder.Link(8, "/nonexistent/ttyGone");
    EXPECT_EQ(ComToolTip(7, folder.Path()), folder.LinkPath(7) + " -> /dev/null (present)");
    EXPECT_EQ(ComToolTip(8, folder.Path()),
              folder.LinkPath(8) + " -> /nonexistent/ttyGone (not present)");
    const std::string device = ComDevicePath(33, folder.Path());
    EXPECT_EQ(ComToolTip(33, folder.Path()),
              device + (std::filesystem::exists(device) ? " (present)" : " (not present)"));
    EXPECT_EQ(ComToolTip(0, ""), "no port");
}

#endif

}  // namespace
}  // namespace quorvel
