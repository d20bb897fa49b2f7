// The link to the world: Set.txt on a real disk (also where permissions bite and writers are
// killed), COM numbers and their devices, and the serial adapter on real pseudo-terminals.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "link/ComPorts.h"
#include "link/QtSerialPort.h"
#include "link/SettingsFile.h"
#include "link/StartUp.h"
#include "support/WindowFront.h"

namespace quorvel::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

std::string Slurp(const std::string& path) {
    if (fs::is_directory(path) || fs::is_fifo(path)) return "<not a file>";
    std::ifstream in(path, std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<missing>";
}

void Put(const std::string& path, const std::string& bytes, mode_t mode = 0644) {
    std::ofstream(path, std::ios::binary) << bytes;
    ::chmod(path.c_str(), mode);
}

// Each test in its own empty working folder. Unprivileged() runs a body where permissions bite:
// as is when not root, else in a child that became "nobody" and owns the folder's contents.
class InFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        old_ = fs::current_path();
        fs::current_path(dir_.path().toStdString());
    }
    void TearDown() override {
        ::chmod(".", 0700);
        fs::current_path(old_);
    }
    std::string Unprivileged(const std::function<std::string()>& body, bool lockDir = false,
                             bool handOver = true) {
        if (::geteuid() != 0) {
            if (lockDir) ::chmod(".", 0555);
            return body();
        }
        if (handOver) {
            for (const auto& entry : fs::directory_iterator(".")) EXPECT_EQ(::lchown(entry.path().c_str(), 65534, 65534), 0);
            EXPECT_EQ(::chown(".", 65534, 65534), 0);
        }
        ::chmod(".", 0755);
        if (lockDir) ::chmod(".", 0555);
        int fds[2];
        if (::pipe(fds) != 0) return "<no pipe>";
        if (::fork() == 0) {
            ::alarm(20);
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(77);
            const std::string out = body();
            ::_exit(::write(fds[1], out.data(), out.size()) == static_cast<ssize_t>(out.size()) ? 0 : 1);
        }
        ::close(fds[1]);
        std::string out;
        char buffer[4096];
        for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, n);
        ::close(fds[0]);
        int status = 0;
        ::wait(&status);
        if (WEXITSTATUS(status) == 77) skipped_ = true;
        return out;
    }
    bool skipped_ = false;

  private:
    QTemporaryDir dir_;
    fs::path old_;
};

TEST(SettingsFields, TheFirstTwoFieldsAreTakenAsTheFileReaderWould) {
    const std::tuple<std::string, bool, std::string, std::string> rows[] = {
        {"", false, "", ""},
        {"COM 3", false, "", ""},
        {"COM 3,", false, "", ""},
        {"COM 1,9600\r\n", true, "COM 1", "9600"},
        {"COM 3\r\n4800\r\n", true, "COM 3", "4800"},
        {"COM 3\n4800", true, "COM 3", "4800"},
        {"COM 3\r4800", true, "COM 3", "4800"},
        {"COM 3\r\n\n4800", true, "COM 3", ""},
        {"COM 7,4800,115200\r\nmore", true, "COM 7", "4800"},
        {"   COM 7,\t 4800\r\n", true, "COM 7", "4800"},
        {"COM 7 ,4800 \r\n", true, "COM 7 ", "4800 "},
        {"\"COM,\r\n7\"x,\"4800\"", true, "COM,\r\n7", "4800"},
        {"\"COM 7,4800\r\n", false, "", ""},
        {"COM 7,\"4800", true, "COM 7", "4800"},
        {"COM 7\0,\xff\r\n"s, true, "COM 7\0"s, "\xff"},
    };
    for (const auto& [content, ok, port, baud] : rows) {
        std::string p = "?", b = "?";
        EXPECT_EQ(ParseSettingsFields(content, p, b), ok) << content;
        EXPECT_EQ(p + "|" + b, ok ? port + "|" + baud : "?|?") << content;
    }
}

class Decoration : public WindowDecoration {
  public:
    std::string calls;
    void TrimSystemMenu() override { calls += "trim "; }
    void FadeIn() override { calls += "fade"; }
};

// Start-up with the real "Set.txt", reported as one text so it can come back from a child.
std::string StartUpOutcome() {
    RunState state;
    FakeDisplay display;
    SettingsFile file;
    RecordingMessages messages;
    Decoration decoration;
    StartUp(state, display, file, messages, decoration).Form_Load();
    struct stat info {};
    const bool ownerRw = ::stat("Set.txt", &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 0600) == 0600;
    std::string out = std::to_string(display.ports.size()) + "/" + std::to_string(display.bauds.size()) +
                      " " + display.port + "/" + display.baud + " " + decoration.calls +
                      (ownerRw ? " rw" : "");
    for (const auto& m : messages.shown) out += "\n" + m;
    return out;
}

class StartUpFile : public InFolder {};

TEST_F(StartUpFile, EndsWithAUsableSelectionAndFile) {
    const std::string kDefault = "COM 1,9600\r\n";
    const std::string kLost = "\nFile lose.....|Can't find the \"Set.txt\" file, now make a new!";
    const std::string kNotSaved =
        "\nFile lose.....|The settings can't be saved in this folder. Quorvel goes on with COM 1 and 9600 baud.";
    struct Row {
        const char* name;
        std::function<void()> prepare;
        std::string outcome, fileAfter;  // fileAfter empty: unchanged
        bool unprivileged = false, lockDir = false;
    };
    const Row rows[] = {
        {"missing", [] {}, "101/10 COM 1/9600 trim fade rw" + kLost, kDefault},
        {"port 7 at 4800", [] { Put("Set.txt", "COM 7,4800\r\n"); }, "101/10 COM 7/4800 trim fade rw", ""},
        {"two lines", [] { Put("Set.txt", "COM 3\r\n4800\r\n"); }, "101/10 COM 3/4800 trim fade rw", ""},
        {"port 150", [] { Put("Set.txt", "COM 150,9600\r\n"); }, "101/10 COM 1/9600 trim fade rw" + kLost, kDefault},
        {"38400", [] { Put("Set.txt", "COM 3,38400\r\n"); }, "101/10 COM 1/9600 trim fade rw" + kLost, kDefault},
        {"empty", [] { Put("Set.txt", ""); }, "101/10 COM 1/9600 trim fade rw" + kLost, kDefault},
        {"port only", [] { Put("Set.txt", "COM 3\r\n"); }, "101/10 COM 1/9600 trim fade rw" + kLost, kDefault},
        {"ten megabytes", [] { Put("Set.txt", std::string(10 << 20, 'A')); }, "101/10 COM 1/9600 trim fade rw" + kLost, kDefault},
        {"a fifo", [] { ::mkfifo("Set.txt", 0644); }, "101/10 COM 1/9600 trim fade rw" + kLost, kDefault},
        {"a folder", [] { fs::create_directory("Set.txt"); }, "101/10 COM 1/9600 trim fade" + kLost + kNotSaved, "<not a file>"},
        {"read-only", [] { Put("Set.txt", "COM 7,4800\r\n", 0444); }, "101/10 COM 7/4800 trim fade rw", "", true},
        {"mode 000", [] { Put("Set.txt", "COM 7,4800\r\n", 0); }, "101/10 COM 7/4800 trim fade rw", "", true},
        {"read-only folder", [] {}, "101/10 COM 1/9600 trim fade" + kLost + kNotSaved, "<missing>", true, true},
        {"read-only folder, unusable file", [] { Put("Set.txt", "COM 3\r\n"); }, "101/10 COM 1/9600 trim fade rw" + kLost,
         kDefault, true, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all("Set.txt");
        row.prepare();
        const std::string before = Slurp("Set.txt");
        const std::string outcome = row.unprivileged ? Unprivileged(StartUpOutcome, row.lockDir) : StartUpOutcome();
        ::chmod(".", 0700);
        if (skipped_) continue;
        EXPECT_EQ(outcome, row.outcome);
        EXPECT_EQ(Slurp("Set.txt"), row.fileAfter.empty() ? before : row.fileAfter);
    }
    std::string port, baud;  // a baud text still running at the read limit is cut off: no rate
    Put("Set.txt", "COM 1," + std::string(70000, '9'));
    EXPECT_FALSE(SettingsFile().Read(port, baud));
}

// A writer killed at any moment leaves one whole line: the old one or the new one.
TEST_F(StartUpFile, AKilledWriterLeavesAWholeLine) {
    Put("Set.txt", "COM 1,9600\r\n");
    auto* counts = static_cast<std::atomic<long>*>(
        ::mmap(nullptr, 2 * sizeof(std::atomic<long>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    std::mt19937 rng(20240601);
    for (int round = 0; round < 150; ++round) {
        const long started = counts[0];
        const pid_t child = ::fork();
        if (child == 0) {
            ::alarm(10);
            SettingsFile file;
            for (bool b = Slurp("Set.txt").size() == 12;; b = !b) {
                ++counts[0];
                if (b ? file.Write("COM 101", "921600") : file.Write("COM 1", "9600")) ++counts[1];
            }
        }
        // Killed while it writes: a loaded machine may take a while to start it.
        for (int wait = 0; counts[0] == started && wait < 10000; ++wait) ::usleep(100);
        ::usleep(rng() % 8000);
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        const std::string content = Slurp("Set.txt");
        ASSERT_TRUE(content == "COM 1,9600\r\n" || content == "COM 101,921600\r\n") << round << ": " << content;
    }
    EXPECT_GT(counts[0] - counts[1], 150 / 4) << "the kills missed the writes";
}

TEST_F(StartUpFile, ComNumbersNameTheirDevicesAndTheTooltipSaysWhatStandsInTheWay) {
    const std::pair<int, std::string> table[] = {{1, "/dev/ttyS0"}, {32, "/dev/ttyS31"}, {33, "/dev/ttyUSB0"},
                                                 {64, "/dev/ttyUSB31"}, {65, "/dev/ttyACM0"}, {96, "/dev/ttyACM31"},
                                                 {97, "/dev/ttyAMA0"}, {101, "/dev/ttyAMA4"}, {0, ""}, {102, ""}};
    for (const auto& [number, device] : table) EXPECT_EQ(ComDevicePath(number, "ports"), device) << number;
    fs::create_directory("ports");
    fs::permissions("ports", fs::perms(0755));  // the unprivileged child below walks it, umask or not
    Put("dev", "", 0660);
    fs::create_symlink("../dev", "ports/com40");  // a link wins, resolved, relative or not
    fs::create_symlink("/nonexistent/ttyGone", "ports/com3");  // a dangling link wins too
    const std::string dir = fs::current_path().string();
    fs::create_symlink("gone", "ports/com4");  // dangling and relative: taken from its folder
    EXPECT_EQ(ComDevicePath(40, "ports"), dir + "/dev");
    EXPECT_EQ(ComDevicePath(3, "ports"), "/nonexistent/ttyGone");
    EXPECT_EQ(ComDevicePath(4, "ports"), "ports/gone");
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", dir.c_str());  // a link under the home folder is shown from "~"
    EXPECT_EQ(ComToolTip(4, dir + "/ports"), "~/ports/com4 -> " + dir + "/ports/gone (not present)");
    qputenv("HOME", home);
    EXPECT_EQ(ComToolTip(3, dir + "/ports"), dir + "/ports/com3 -> /nonexistent/ttyGone (not present)");
    EXPECT_EQ(ComToolTip(1, "ports"), fs::exists("/dev/ttyS0") ? "/dev/ttyS0 (present)" : "/dev/ttyS0 (not present)");
    EXPECT_EQ(ComToolTip(40, dir + "/ports"), dir + "/ports/com40 -> " + dir + "/dev (not a serial device: a regular file)");
    const group* dialout = ::getgrnam("dialout");
    if (::geteuid() != 0 || dialout == nullptr) GTEST_SKIP() << "needs root and a dialout group";
    fs::remove("dev");  // a serial device's node in its place: ttyS0's numbers
    ASSERT_EQ(::mknod("dev", S_IFCHR | 0660, makedev(4, 64)), 0) << std::strerror(errno);
    ASSERT_EQ(::chown("dev", 0, dialout->gr_gid) | ::chmod("dev", 0660), 0);  // umask or not
    ::chmod("ports", 0755);  // "nobody" must see the links whatever the umask
    EXPECT_EQ(Unprivileged([&] { return ComToolTip(40, dir + "/ports"); }, false, false),
              dir + "/ports/com40 -> " + dir + "/dev (present, no access: join the dialout group)");
    const auto refusal = [&] { QtSerialPort p(dir + "/ports"); return p.SetCommPort(40) && !p.Open() ? p.ErrorReason() : ""; };
    EXPECT_EQ(Unprivileged(refusal, false, false), "Permission denied: join the dialout group");
    ::chmod("dev", 0600);
    EXPECT_EQ(Unprivileged([&] { return ComToolTip(40, dir + "/ports"); }, false, false),
              dir + "/ports/com40 -> " + dir + "/dev (present, no access)");
}

// A receiver on a pseudo-terminal linked as COM 7: the test talks on the master side.
class OnPty : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[256];
        ASSERT_EQ(::openpty(&master_, &slave_, name, nullptr, nullptr), 0);
        ::fcntl(master_, F_SETFL, O_NONBLOCK);
        fs::create_symlink(name, ports_.filePath("com7").toStdString());
        port.SetEventHandler([this](std::int16_t kind) {
            ++events[kind];
            if (engine) engine->HandlePortEvent(kind);
        });
        ASSERT_TRUE(port.SetCommPort(7));
    }
    void TearDown() override {
        ::close(master_);
        ::close(slave_);
    }
    void Send(const std::string& bytes) { ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), (ssize_t)bytes.size()); }
    std::string Received(std::size_t size) {
        std::string got;
        char chunk[512];
        WaitFor([&] {
            for (ssize_t n; (n = ::read(master_, chunk, sizeof chunk)) > 0;) got.append(chunk, n);
            return got.size() >= size;
        });
        return got;
    }

    QTemporaryDir ports_;
    int master_ = -1, slave_ = -1;
    QtSerialPort port{ports_.path().toStdString()};
    std::map<int, int> events;
    TestEngine* engine = nullptr;
};

TEST_F(OnPty, EveryByteArrivesAsItsCharacterAndOnlyWellFormedSettingsAreTaken) {
    for (const char* refused : {"57600,n,8", "0,n,8,1", "9600,x,8,1", "9600,n,8,1\r\n"})
        EXPECT_FALSE(port.SetSettings(refused)) << refused;
    ASSERT_TRUE(port.SetSettings("115200,n,8,1"));
    ASSERT_TRUE(port.Open());
    termios tio{};
    ::tcgetattr(slave_, &tio);
    EXPECT_EQ(::cfgetospeed(&tio), B115200);
    std::string all;
    for (int byte = 0; byte < 256; ++byte) all.push_back(static_cast<char>(byte));
    Send(all);
    std::string got;
    WaitFor([&] { return (got += port.Input()).size() >= all.size(); });
    EXPECT_EQ(got, all);
    const int reads = events[comm_event::kReceive];
    Send("stale");  // taken in by Qt, then thrown away
    ASSERT_TRUE(WaitFor([&] { return events[comm_event::kReceive] > reads; }));
    port.DiscardInput();
    EXPECT_EQ(port.Input(), "");
    EXPECT_FALSE(port.SetCommPort(8));  // no other port while this one is open
    QtSerialPort other(ports_.path().toStdString());  // the device is locked while held
    fs::create_symlink("/nonexistent/ttyGone", ports_.filePath("com9").toStdString());
    EXPECT_EQ(other.SetCommPort(9) && !other.Open() ? other.ErrorReason() : "", "No such file or directory");
    ASSERT_TRUE(other.SetCommPort(7));
    EXPECT_FALSE(other.Open());
    EXPECT_EQ(other.ErrorReason(), "Device or resource busy: another program holds it");
    EXPECT_FALSE(port.Open());
    port.Close();
    EXPECT_TRUE(other.Open());
}

TEST_F(OnPty, TheFifthGgaOrdersByteForByteAndTheStopHangsUp) {
    RunState state;
    FakeDisplay display;
    display.port = "COM 7";
    FakeSettings settings;
    TestEngine real(state, display, port);
    engine = &real;
    StartStop button(state, display, port, real);
    Connection connection(state, display, port, settings);
    button.Cmd_Start_1_Click();
    connection.Timer1_Tick();
    ASSERT_TRUE(port.IsOpen());
    for (int i = 0; i < 5; ++i) Send(Line(Gga("12000" + std::to_string(i) + ".00")));
    EXPECT_EQ(Received(15), kOrder);
    EXPECT_TRUE(WaitFor([&] { return events[comm_event::kSend] >= 1; }));
    button.Cmd_Start_1_Click();
    EXPECT_FALSE(port.IsOpen());
    pollfd hangup{master_, POLLIN, 0};
    ::close(slave_);
    slave_ = -1;
    EXPECT_EQ(::poll(&hangup, 1, 1000), 1);
    EXPECT_TRUE(hangup.revents & POLLHUP);
}

TEST_F(OnPty, AVanishedDeviceClosesThePortOnceWithoutSpinning) {
    ASSERT_TRUE(port.Open());
    Send("last words");
    std::string got;
    ASSERT_TRUE(WaitFor([&] { return !(got += port.Input()).empty(); }));
    ::close(master_);
    master_ = -1;
    EXPECT_TRUE(WaitFor([&] { return !port.IsOpen(); }));
    const double before = CpuSeconds();
    WaitFor([] { return false; }, 300);
    EXPECT_LT(CpuSeconds() - before, 0.1) << "the event loop spun after the device vanished";
    EXPECT_EQ(port.DeviceErrorCount(), 1);
    EXPECT_EQ(events[comm_event::kDeviceFailure], 1);
    EXPECT_EQ(port.ErrorReason(), "device hung up");
}

}  // namespace
}  // namespace quorvel::testing
