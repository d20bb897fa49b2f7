#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "link/QtSerialPort.h"
#include "serial/SerialTestSupport.h"

namespace quorvel {
namespace {

using namespace std::chrono_literals;
using testing::PortsFolder;
using testing::Pty;
using testing::PumpUntil;

constexpr std::int16_t kPtyCom = 7;

double ProcessCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// COM 7 of a temporary ports folder is linked to a fresh pty.
class QtSerialPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(pty.Ok());
        folder.Link(kPtyCom, pty.SlavePath());
        port = std::make_unique<QtSerialPort>(folder.Path());
        port->SetEventHandler([this](std::int16_t code) { events.push_back(code); });
        ASSERT_TRUE(port->SetCommPort(kPtyCom));
    }

    int Count(std::int16_t code) const {
        return static_cast<int>(std::count(events.begin(), events.end(), code));
    }

    // Collects Input until `size` bytes have come or the deadline passes.
    std::string ReadAtLeast(std::size_t size) {
        std::string got;
        PumpUntil([&] {
            got += port->Input();
            return got.size() >= size;
        });
        return got;
    }

    Pty pty;
    PortsFolder folder;
    std::unique_ptr<QtSerialPort> port;
    std::vector<std::int16_t> events;
};

TEST_F(QtSerialPortTest, EveryByteValueArrivesAsTheSameCharacter) {
    ASSERT_TRUE(port->Open());
    std::string all;
    for (int byte = 0; byte < 256; ++byte) all.push_back(static_cast<char>(byte));
    ASSERT_TRUE(pty.Send(all));
    EXPECT_EQ(ReadAtLeast(all.size()), all);
    EXPECT_GE(Count(comm_event::kReceive), 1);
}

TEST_F(QtSerialPortTest, OutputArrivesByteForByte) {
    ASSERT_TRUE(port->Open());
    const std::string order = "$PXEMSRT,C*3A\r\n";
    ASSERT_TRUE(port->Output(order));
    std::string got;
    EXPECT_TRUE(PumpUntil([&] {
        got += pty.Received();
        return got.size() >= order.size();
    }));
    EXPECT_EQ(got, order);
    EXPECT_TRUE(PumpUntil([&] { return Count(comm_event::kSend) >= 1; }));
}

TEST_F(QtSerialPortTest, ClosedPortRefusesOutputAndASecondOpenIsRefused) {
    EXPECT_FALSE(port->Output("x"));
    EXPECT_EQ(port->Input(), "");
    ASSERT_TRUE(port->Open());
    EXPECT_FALSE(port->Open());
    EXPECT_TRUE(port->IsOpen());
    port->Close();
    EXPECT_FALSE(port->Output("x"));
}

TEST_F(QtSerialPortTest, LockedOrMissingDeviceIsRefusedAndLeftClosed) {
    ASSERT_TRUE(port->Open());
    QtSerialPort other(folder.Path());
    ASSERT_TRUE(other.SetCommPort(kPtyCom));
    EXPECT_FALSE(other.Open());
    EXPECT_FALSE(other.IsOpen());
    EXPECT_EQ(other.DeviceErrorCount(), 0);
    // Once released, the other one gets it.
    port->Close();
    EXPECT_TRUE(other.Open());

    folder.Link(8, "/nonexistent/ttyGone");
    ASSERT_TRUE(port->SetCommPort(8));
    EXPECT_FALSE(port->Open());
    EXPECT_FALSE(port->IsOpen());
    EXPECT_EQ(port->DeviceErrorCount(), 0);
}

TEST_F(QtSerialPortTest, OnlyWellFormedSettingsAreTakenAndApplyAtTheNextOpen) {
    ASSERT_TRUE(port->SetSettings("115200,n,8,1"));
    ASSERT_TRUE(port->Open());
    EXPECT_EQ(pty.SlaveSpeed(), B115200);
    ASSERT_TRUE(port->SetSettings("4800,n,8,1"));
    EXPECT_EQ(pty.SlaveSpeed(), B115200);
    for (const char* refused : {"57600,n,8", "0,n,8,1", "9600,x,8,1", "9600,n,8,1\r\n"}) {
        EXPECT_FALSE(port->SetSettings(refused)) << refused;  // the last good one stays
    }
    port->Close();
    ASSERT_TRUE(port->Open());
    EXPECT_EQ(pty.SlaveSpeed(), B4800);
}

TEST_F(QtSerialPortTest, VanishedDeviceClosesThePortOnceWithoutSpinning) {
    ASSERT_TRUE(port->Open());
    ASSERT_TRUE(pty.Send("last words"));
    EXPECT_EQ(ReadAtLeast(10), "last words");
    const std::size_t eventsBefore = events.size();

    pty.CloseMaster();
    EXPECT_TRUE(PumpUntil([&] { return !port->IsOpen(); }, 2000ms));

    const double cpuBefore = ProcessCpuSeconds();
    QEventLoop loop;
    QTimer::singleShot(300, &loop, &QEventLoop::quit);
    loop.exec();
    const double cpuUsed = ProcessCpuSeconds() - cpuBefore;

    EXPECT_FALSE(port->IsOpen());
    EXPECT_EQ(port->DeviceErrorCount(), 1);
    EXPECT_EQ(events.size(), eventsBefore);  // looks like a receiver gone silent
    EXPECT_LT(cpuUsed, 0.1) << "the event loop spun after the device vanished";
}

TEST_F(QtSerialPortTest, HandlerMayCloseThePortFromAReceiveEvent) {
    port->SetEventHandler([this](std::int16_t code) {
        events.push_back(code);
        if (code == comm_event::kReceive) port->Close();
    });
    ASSERT_TRUE(port->Open());
    ASSERT_TRUE(pty.Send("bye"));
    EXPECT_TRUE(PumpUntil([&] { return !port->IsOpen(); }));
    EXPECT_EQ(Count(comm_event::kReceive), 1);
    EXPECT_EQ(port->DeviceErrorCount(), 0);
}

}  // namespace
}  // namespace quorvel
