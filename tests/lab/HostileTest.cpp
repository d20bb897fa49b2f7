// The lab against what its surroundings do: a link to its journal, signals, a stdout nobody
// reads, a device path too long for a lock file name.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <filesystem>
#include <fstream>

#include "link/QtSerialPort.h"
#include "sim/Pty.h"

namespace quorvel::lab {
namespace {

namespace fs = std::filesystem;

const QString kLab = QUORVEL_BINARY_DIR "/src/lab/quorvel-lab";
constexpr rlimit kLimit{30, 30};

TEST(LabHostile, AReportLinkedToTheJournalIsRefusedBeforeAnyPortOpens) {
    QTemporaryDir dir;
    fs::create_symlink("j.csv", dir.filePath("r.html").toStdString());  // the journal, once made
    QProcess lab;
    lab.start(kLab,
              {"--journal", dir.filePath("j.csv"), "--report", dir.filePath("r.html"), "COM1"});
    EXPECT_TRUE(lab.waitForFinished(10000) && lab.exitCode() == 2 &&
                !fs::exists(dir.filePath("j.csv").toStdString()));
}

TEST(LabHostile, SignalsEndTheRunCleanlyWhateverItsOutput) {
    sim::Pty pty, terminal;  // a receiver that never speaks: the lab runs on until the signal
    std::string error;
    ASSERT_TRUE(pty.Open(error) && terminal.Open(error)) << error;
    winsize narrow{};
    narrow.ws_col = 70;
    ASSERT_EQ(::ioctl(terminal.master(), TIOCSWINSZ, &narrow), 0);
    enum Output { kRead, kUnread, kFull, kTerminal, kReadFilesUpTo30Bytes };
    // The signal, the lab's standard output, its exit status and what its stderr says.
    // clang-format off
    for (const auto& [signal, output, status, said] : {
             std::tuple{SIGHUP, kRead, 0, ""}, {SIGPIPE, kRead, 0, ""}, {SIGTERM, kUnread, 0, ""},
             {SIGTERM, kFull, 1, "No space left on device"}, {SIGINT, kTerminal, 0, ""},
             {SIGTERM, kReadFilesUpTo30Bytes, 1, "File too large"}}) {
        // clang-format on
        QTemporaryDir dir;
        QProcess lab;
        int out[2];
        ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
        const int to = output == kUnread ? out[1] : terminal.slave();
        if (output == kUnread || output == kTerminal)
            lab.setChildProcessModifier([to] { ::dup2(to, STDOUT_FILENO); });
        if (output == kFull) lab.setStandardOutputFile("/dev/full");
        const bool small = output == kReadFilesUpTo30Bytes;  // less than the journal's header
        if (small) lab.setChildProcessModifier([] { ::setrlimit(RLIMIT_FSIZE, &kLimit); });
        // Two receivers whose names differ only in their last characters.
        fs::create_symlink(pty.device(), dir.filePath("rack-one-receiver-1").toStdString());
        const std::string j = dir.filePath("j.csv").toStdString();
        lab.start(kLab, {"--journal", dir.filePath("j.csv"), "--report", dir.filePath("r.html"),
                         dir.filePath("rack-one-receiver-1"), dir.filePath("rack-one-receiver-2")});
        lab.waitForStarted(5000);
        ::close(out[0]);  // the unread pipe's only reader
        ::close(out[1]);
        for (int i = 0; i < 200 && !fs::exists(j); ++i) lab.waitForFinished(50);
        lab.waitForFinished(300);  // its first lines written meanwhile: to nobody when unread
        ASSERT_EQ(lab.state(), QProcess::Running) << "ended before signal " << signal;
        ::kill(static_cast<pid_t>(lab.processId()), signal);
        ASSERT_TRUE(lab.waitForFinished(10000));
        EXPECT_TRUE(lab.exitStatus() == QProcess::NormalExit && lab.exitCode() == status) << signal;
        EXPECT_TRUE(output != kRead || lab.readAllStandardOutput().contains("Report: ")) << signal;
        EXPECT_TRUE(lab.readAllStandardError().contains(said)) << said;
        // Over the size limit no half header is left, nor a report or its temporary file.
        EXPECT_EQ(QDir(dir.path()).entryList({"*.html*"}, QDir::Files | QDir::Hidden),
                  small ? QStringList() : QStringList{"r.html"});
        EXPECT_EQ(fs::file_size(j) == 0, small);
        // The live lines at 70 columns drop fields before names lose what tells them apart.
        std::string shown(65536, '\0');
        shown.resize(std::max<ssize_t>(0, ::read(terminal.master(), shown.data(), shown.size())));
        for (const char* line : {"receiver-1 cycles", "receiver-2 cycles"})
            EXPECT_TRUE(output != kTerminal || shown.find(line) != std::string::npos) << shown;
    }
}

TEST(LabHostile, ASignalEndsTheRunAtOnceWhateverLookupIsPending) {
    if (QProcess::execute("unshare", {"-rm", "true"}) != 0)
        GTEST_SKIP() << "needs unprivileged user and mount namespaces (unshare -rm)";
    // A host name lookup that never answers: in a namespace of its own, the lab's hosts file
    // is a FIFO that nobody writes.
    QTemporaryDir dir;
    const QByteArray hosts = dir.filePath("hosts").toLocal8Bit();
    ASSERT_EQ(::mkfifo(hosts, 0600), 0);
    QProcess lab;
    lab.start("unshare", {"-rm", "sh", "-c", "mount --bind \"$0\" /etc/hosts && exec \"$@\"",
                          hosts, kLab, "--journal", dir.filePath("j.csv"), "tcp://rack9:4001"});
    ASSERT_TRUE(lab.waitForStarted(5000));
    // The lookup is under way once a thread of the lab waits for a writer of the FIFO.
    auto waiting = [pid = lab.processId()] {
        for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
            std::ifstream wchan(task.path() / "wchan");
            if (std::string where; wchan >> where && where == "wait_for_partner") return true;
        }
        return false;
    };
    for (int i = 0; i < 500 && lab.state() == QProcess::Running && !waiting(); ++i)
        lab.waitForFinished(10);
    ASSERT_TRUE(waiting()) << lab.readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(lab.processId()), SIGINT);
    const bool ended = lab.waitForFinished(3000);
    // A writer lets the lookup go on: a lab that waited for it ends too.
    ::close(::open(hosts, O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    ASSERT_TRUE(ended || lab.waitForFinished(10000));
    EXPECT_TRUE(ended);
    EXPECT_TRUE(lab.exitStatus() == QProcess::NormalExit && lab.exitCode() == 0);
    EXPECT_TRUE(lab.readAllStandardOutput().contains("\nJournal: "));
}

TEST(LabHostile, AReportWaitingOnAFifoEndsOnASignal) {
    QTemporaryDir dir;
    const QByteArray fifo = dir.filePath("f").toLocal8Bit();
    ASSERT_EQ(::mkfifo(fifo, 0600), 0);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        QProcess report;
        report.start(kLab, {"report", fifo});
        int writer = -1;  // opens once the report reads the FIFO, which then waits on
        for (int i = 0; i < 500 && writer < 0; ++i, report.waitForFinished(10))
            writer = ::open(fifo, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GT(report.processId(), 0);  // not ended: 0 would signal the whole group
        ::kill(static_cast<pid_t>(report.processId()), signal);
        EXPECT_TRUE(report.waitForFinished(5000) && report.exitStatus() == QProcess::CrashExit);
        ::close(writer);
    }
}

TEST(LabHostile, ADevicePathLongerThanALockFileNameOpens) {
    QTemporaryDir dir;
    sim::Pty pty;
    std::string error, link = dir.path().toStdString() + "/" + std::string(200, 'd');
    ASSERT_TRUE(pty.Open(error) && fs::create_directory(link)) << error;
    link += "/" + std::string(300 - link.size() - 1, 'l');
    fs::create_symlink(pty.device(), link);
    QtSerialPort port("", nullptr, [&link](int) { return link; });
    EXPECT_TRUE(port.Open()) << port.ErrorReason();
}

}  // namespace
}  // namespace quorvel::lab
