// The lab against what its surroundings do: one file or device under two names, signals, a
// stdout nobody reads, a device path too long for a lock file name.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <filesystem>

#include "lab/Options.h"
#include "link/QtSerialPort.h"
#include "sim/Pty.h"

namespace quorvel::lab {

extern const QString kBin;
QString StartSim(QProcess& sim, QStringList args);

namespace {

namespace fs = std::filesystem;

TEST(LabHostile, OneFileOrDeviceUnderTwoNamesIsRefused) {
    QTemporaryDir dir;
    const QString q = dir.path() + "/";
    const std::string d = q.toStdString();
    fs::create_symlink("j.csv", d + "link.csv");  // dangling until the journal is made
    fs::create_symlink("/dev/null", d + "com13");
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{"--journal", d + "j.csv", "--report", d + "./j.csv", "COM1"}, "name one file"},
        {{"--journal", d + "j.csv", "--report", d + "link.csv", "COM1"}, "name one file"},
        {{"--journal", d + "com13", "--report", "/dev/null", "COM1"}, "name one file"},
        {{"COM13", "/dev/null"}, "port named twice: 'COM13' and '/dev/null'"},
        {{"COM33", "/dev/ttyUSB0"}, "'COM33' and '/dev/ttyUSB0'"},
        {{"--journal", d + "j.csv", "--report", d + "r.html", "COM1", "COM2"}, ""}};
    for (const auto& [args, says] : rows) {
        const std::string error = CheckLabOptions(ParseLabOptions(args).options, d);
        EXPECT_TRUE(says.empty() ? error.empty() : error.find(says) != std::string::npos) << error;
    }
    QProcess lab;  // refused before the journal is made
    lab.start(kBin + "/src/lab/quorvel-lab", {"--journal", q + "j.csv", "--report", q + "link.csv", "COM1"});
    EXPECT_TRUE(lab.waitForFinished(10000) && lab.exitCode() == 2 && !fs::exists(d + "j.csv"));
}

TEST(LabHostile, HangUpAndPipeEndTheRunCleanlyAndAReaderGoneDoesNot) {
    QProcess sim;
    const QString pts = StartSim(sim, {"--ttff", "3"});
    // The signal, and whether anyone reads the lab's standard output.
    for (const auto& [signal, read] : {std::pair{SIGHUP, true}, {SIGPIPE, true}, {SIGTERM, false}}) {
        QTemporaryDir dir;
        QProcess lab;
        int out[2];
        ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
        if (!read) lab.setChildProcessModifier([out] { ::dup2(out[1], STDOUT_FILENO); });
        lab.start(kBin + "/src/lab/quorvel-lab",
                  {"--journal", dir.filePath("j.csv"), "--report", dir.filePath("r.html"), pts});
        lab.waitForStarted(5000);
        ::close(out[0]);  // the unread pipe's only reader
        ::close(out[1]);
        for (int i = 0; i < 200 && !fs::exists(dir.filePath("j.csv").toStdString()); ++i)
            lab.waitForFinished(50);
        ASSERT_FALSE(lab.waitForFinished(500)) << "ended before signal " << signal;  // lines written
        ::kill(static_cast<pid_t>(lab.processId()), signal);
        ASSERT_TRUE(lab.waitForFinished(10000));
        EXPECT_TRUE(lab.exitStatus() == QProcess::NormalExit && lab.exitCode() == 0) << signal;
        EXPECT_GT(fs::file_size(dir.filePath("r.html").toStdString()), 0u) << signal;
        EXPECT_TRUE(!read || lab.readAllStandardOutput().contains("Report: ")) << signal;
    }
    sim.terminate();
    sim.waitForFinished(5000);
}

TEST(LabHostile, ADevicePathLongerThanALockFileNameOpens) {
    sim::Pty pty;
    std::string error;
    QTemporaryDir dir;
    const std::string folder = dir.filePath(QString(120, 'd') + "/" + QString(120, 'e')).toStdString();
    const std::string link = (folder + "/" + std::string(300, 'l')).substr(0, 300);
    ASSERT_TRUE(pty.Open(error) && fs::create_directories(folder)) << error;
    fs::create_symlink(pty.device(), link);
    QtSerialPort port("", nullptr, [&link](int) { return link; });
    EXPECT_TRUE(port.Open()) << port.ErrorReason();
}

}  // namespace
}  // namespace quorvel::lab
