#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "WorkingDir.h"
#include "engine/Texts.h"
#include "link/LinkTexts.h"
#include "link/SettingsFile.h"
#include "link/StartUp.h"
#include "support/FakeDecoration.h"
#include "support/FakeDisplay.h"
#include "support/FakeMessageBox.h"

namespace quorvel {
namespace {

using testing::InodeOf;
using testing::ReadBytes;
using testing::WriteBytes;

const std::string kDefaultLine = "COM 1,9600\r\n";

// Form1 without a window: the real settings file in the working directory, everything else fake.
struct Form {
    RunState state;
    testing::FakeDisplay display;
    SettingsFile settings;
    testing::FakeMessageBox messages;
    testing::FakeDecoration decoration;
    StartUp startUp{state, display, settings, messages, decoration};
};

// What start-up left behind, as text, so that it can also come back from a child process.
std::string Describe(const std::vector<std::pair<std::string, std::string>>& messages,
                     const std::string& port, const std::string& baud, size_t ports, size_t bauds) {
    std::ostringstream out;
    for (const auto& [title, text] : messages) out << "message " << title << " | " << text << "\n";
    out << "selected " << port << " / " << baud << "\n";
    out << "entries " << ports << " / " << bauds << "\n";
    return out.str();
}

std::string LoadForm() {
    Form form;
    form.startUp.Form_Load();
    return Describe(form.messages.shown, form.display.selectedPort, form.display.selectedBaud,
                    form.display.ports.size(), form.display.bauds.size());
}

std::string Expected(int messageCount, const std::string& port, const std::string& baud) {
    const std::vector<std::pair<std::string, std::string>> messages = {
        {std::string(texts::kFileLoseTitle), std::string(texts::kCantFindSettingsFile)},
        {std::string(texts::kFileLoseTitle), std::string(texts::kCantSaveSettings)}};
    return Describe({messages.begin(), messages.begin() + messageCount}, port, baud, 101, 10);
}

constexpr const char* kUnchanged = "<unchanged>";

struct StartCase {
    const char* name;
    std::function<void()> prepare;  // runs in the empty working directory
    int messages;                   // 0 none, 1 the recovery message, 2 also "can't be saved"
    const char* port;
    const char* baud;
    std::string fileAfter;      // bytes of Set.txt afterwards, or kUnchanged
    bool unprivileged = false;  // permissions must bite, also when the tests run as root
    bool lockDir = false;       // the working directory is read-only during start-up
};

void PrintTo(const StartCase& c, std::ostream* os) { *os << c.name; }

void Saved(const std::string& content, mode_t mode = 0644) {
    WriteBytes("Set.txt", content);
    ::chmod("Set.txt", mode);
}

class StartUpFileTest : public testing::InTemporaryDir,
                        public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartUpFileTest, EndsWithUsableSelectionAndFile) {
    const StartCase& c = GetParam();
    if (c.prepare) c.prepare();
    const std::string before = ReadBytes("Set.txt");
    const ino_t inodeBefore = InodeOf("Set.txt");

    const std::string outcome = c.unprivileged ? Unprivileged(LoadForm, c.lockDir) : LoadForm();
    if (skipped_) GTEST_SKIP() << "cannot drop root rights, so permissions would not bite";

    EXPECT_EQ(outcome, Expected(c.messages, c.port, c.baud));
    if (c.fileAfter == kUnchanged) {
        EXPECT_EQ(ReadBytes("Set.txt"), before);
        EXPECT_EQ(InodeOf("Set.txt"), inodeBefore) << "the file was rewritten";
    } else {
        EXPECT_EQ(ReadBytes("Set.txt"), c.fileAfter);
    }
}

const StartCase kStartCases[] = {
    {"Missing", nullptr, 1, "COM 1", "9600", kDefaultLine},
    {"SavedPort7At4800", [] { Saved("COM 7,4800\r\n"); }, 0, "COM 7", "4800", kUnchanged},
    {"SavedOnTwoLines", [] { Saved("COM 3\r\n4800\r\n"); }, 0, "COM 3", "4800", kUnchanged},
    {"Port150", [] { Saved("COM 150,9600\r\n"); }, 1, "COM 1", "9600", kDefaultLine},
    {"Baud38400", [] { Saved("COM 3,38400\r\n"); }, 1, "COM 1", "9600", kDefaultLine},
    {"Empty", [] { Saved(""); }, 1, "COM 1", "9600", kDefaultLine},
    {"PortOnly", [] { Saved("COM 3\r\n"); }, 1, "COM 1", "9600", kDefaultLine},
    {"TenMegabytes", [] { Saved(std::string(10 << 20, 'A')); }, 1, "COM 1", "9600", kDefaultLine},
    {"BinaryBytes", [] { Saved(std::string("\0\xff\r\n\x01,\"", 7)); }, 1, "COM 1", "9600",
     kDefaultLine},
    {"DirectoryNamedSetTxt", [] { ::mkdir("Set.txt", 0755); }, 2, "COM 1", "9600", "<not a file>"},
    {"DanglingSymlink", [] { ::symlink("gone.txt", "Set.txt"); }, 1, "COM 1", "9600", kDefaultLine},
    {"ReadOnlyFile", [] { Saved("COM 7,4800\r\n", 0444); }, 0, "COM 7", "4800", kUnchanged, true},
    {"Mode000File", [] { Saved("COM 7,4800\r\n", 0); }, 0, "COM 7", "4800", kUnchanged, true},
    {"ReadOnlyFolderNoFile", nullptr, 2, "COM 1", "9600", "<missing>", true, true},
    {"ReadOnlyFolderUnusableFile", [] { Saved("COM 3\r\n", 0444); }, 1, "COM 1", "9600",
     kDefaultLine, true, true},
};

INSTANTIATE_TEST_SUITE_P(Table, StartUpFileTest, ::testing::ValuesIn(kStartCases),
                         [](const auto& info) { return std::string(info.param.name); });

class StartUpTest : public testing::InTemporaryDir {};

TEST_F(StartUpTest, FillsBothSelectorsOnceInOrder) {
    Saved("COM 150,9600\r\n");  // a recovery must not fill them again
    Form form;
    form.startUp.Form_Load();
    ASSERT_EQ(form.display.ports.size(), 101u);
    for (int n = 1; n <= 101; ++n) EXPECT_EQ(form.display.ports[n - 1], "COM " + std::to_string(n));
    EXPECT_EQ(form.display.bauds,
              (std::vector<std::string>{"1200", "2400", "4800", "9600", "19200", "57600", "115200",
                                        "230400", "460800", "921600"}));
}

TEST_F(StartUpTest, ResetsTheRunStateAndLeavesOnlyTimerPfRunning) {
    Saved("COM 7,4800\r\n");
    Form form;
    RunState& s = form.state;
    s.NoRespondSeconds = s.GgaCount = s.Phase = s.RestartCountdown = 5;
    s.GgaSeen = true;
    s.RxBuffer = "$GPGGA,1";
    form.display.status = "old";

    form.startUp.Form_Load();

    EXPECT_EQ(s.NoRespondSeconds + s.GgaCount + s.Phase + s.RestartCountdown, 0);
    EXPECT_FALSE(s.GgaSeen);
    EXPECT_EQ(s.RxBuffer, "");
    EXPECT_EQ(form.display.status, "");
    EXPECT_EQ(form.display.label1, "Not connected!");
    EXPECT_FALSE(form.display.On(TimerId::Timer1));
    EXPECT_FALSE(form.display.On(TimerId::Timer));
    EXPECT_FALSE(form.display.On(TimerId::Timer_Start));
    EXPECT_TRUE(form.display.On(TimerId::Timer_PF));
}

// Trimming comes before anything else, the fade-in after everything, the message in between.
TEST_F(StartUpTest, TrimsFirstAndFadesInLast) {
    Form form;
    std::vector<std::string> seen;
    form.decoration.onCall = [&](const std::string& call) {
        std::ostringstream out;
        out << call << ": entries " << form.display.ports.size() << ", messages "
            << form.messages.shown.size() << ", file " << ReadBytes("Set.txt") << ", label "
            << form.display.label1 << ", selected " << form.display.selectedPort;
        seen.push_back(out.str());
    };
    form.startUp.Form_Load();
    EXPECT_EQ(seen,
              (std::vector<std::string>{
                  "TrimSystemMenu: entries 0, messages 0, file <missing>, label , selected ",
                  "FadeIn: entries 101, messages 1, file COM 1,9600\r\n, label Not connected!, "
                  "selected COM 1"}));
}

}  // namespace
}  // namespace quorvel
