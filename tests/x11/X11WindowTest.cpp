// The main window on a real X server (Xvfb, xcb platform), seen from outside with the X
// utilities: its client size and the window-manager hints that take the close command away.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <regex>
#include <sstream>
#include <string>

#include "ui/MainWindow.h"

namespace quorvel {
namespace {

std::optional<std::string> FindInPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const std::string candidate = dir + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return std::nullopt;
}

// Reads one line from fd, giving up after timeoutMs.
std::optional<std::string> ReadLine(int fd, int timeoutMs) {
    std::string line;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        char c;
        if (read(fd, &c, 1) != 1) return std::nullopt;  // the other end is gone
        if (c == '\n') return line;
        line += c;
    }
    return std::nullopt;
}

std::string Output(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[512];
        while (fgets(buffer, sizeof buffer, pipe)) output += buffer;
        pclose(pipe);
    }
    return output;
}

// A child process ended on leaving the scope.
struct ChildProcess {
    pid_t pid = -1;
    ~ChildProcess() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
};

// In the child: show the window as start-up does, report its X window id, then serve events.
[[noreturn]] void ShowWindowAndReport(const std::string& display, int reportFd) {
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv("DISPLAY", display.c_str(), 1);
    int argc = 1;
    char name[] = "x11_window_probe";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    MainWindow window;
    window.TrimSystemMenu();
    window.FadeIn();
    QElapsedTimer clock;
    clock.start();
    while (!(window.windowHandle() && window.windowHandle()->isExposed()) &&
           clock.elapsed() < 10000) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    const std::string id = std::to_string(window.winId()) + "\n";
    if (write(reportFd, id.data(), id.size()) < 0) _exit(2);
    close(reportFd);
    app.exec();
    _exit(0);
}

TEST(X11WindowTest, ClientAreaIsFixedAndTheWindowManagerOffersNoClose) {
    const auto xvfb = FindInPath("Xvfb");
    const auto xwininfo = FindInPath("xwininfo");
    const auto xprop = FindInPath("xprop");
    if (!xvfb || !xwininfo || !xprop) {
        GTEST_SKIP() << "needs Xvfb, xwininfo and xprop (packages xvfb and x11-utils)";
    }

    // Xvfb picks a free display itself and writes its number when it accepts clients.
    int displayPipe[2];
    ASSERT_EQ(pipe(displayPipe), 0);
    ChildProcess server;
    server.pid = fork();
    ASSERT_GE(server.pid, 0);
    if (server.pid == 0) {
        close(displayPipe[0]);
        const std::string fd = std::to_string(displayPipe[1]);
        execl(xvfb->c_str(), "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0",
              "800x600x24", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(displayPipe[1]);
    const auto number = ReadLine(displayPipe[0], 20000);
    close(displayPipe[0]);
    ASSERT_TRUE(number.has_value()) << "Xvfb did not start";
    const std::string display = ":" + *number;

    int reportPipe[2];
    ASSERT_EQ(pipe(reportPipe), 0);
    ChildProcess probe;
    probe.pid = fork();
    ASSERT_GE(probe.pid, 0);
    if (probe.pid == 0) {
        close(reportPipe[0]);
        ShowWindowAndReport(display, reportPipe[1]);
    }
    close(reportPipe[1]);
    const auto windowId = ReadLine(reportPipe[0], 30000);
    close(reportPipe[0]);
    ASSERT_TRUE(windowId.has_value()) << "the window did not come up on " << display;

    const std::string target = " -display " + display + " -id " + *windowId;
    const std::string info = Output(*xwininfo + target);
    EXPECT_NE(info.find("Width: 346\n"), std::string::npos) << info;
    EXPECT_NE(info.find("Height: 262\n"), std::string::npos) << info;
    EXPECT_NE(info.find("IsViewable"), std::string::npos) << info;

    const std::string hints =
        // A UTF-8 locale makes xprop print the caption as text, not octal escapes.
        Output("LC_ALL=C.UTF-8 " + *xprop + target + " _MOTIF_WM_HINTS WM_NORMAL_HINTS _NET_WM_NAME");
    std::smatch motif;
    ASSERT_TRUE(std::regex_search(
        hints, motif, std::regex(R"(_MOTIF_WM_HINTS\S* = (0x[0-9a-f]+), (0x[0-9a-f]+))")))
        << hints;
    const unsigned long flags = std::stoul(motif[1], nullptr, 16);
    const unsigned long functions = std::stoul(motif[2], nullptr, 16);
    constexpr unsigned long kHintsFunctions = 1, kFuncAll = 1, kFuncClose = 0x20;
    EXPECT_TRUE(flags & kHintsFunctions) << hints;
    EXPECT_FALSE(functions & kFuncAll) << hints;
    EXPECT_FALSE(functions & kFuncClose) << hints;

    EXPECT_NE(hints.find("minimum size: 346 by 262"), std::string::npos) << hints;
    EXPECT_NE(hints.find("maximum size: 346 by 262"), std::string::npos) << hints;
    EXPECT_NE(hints.find("\"\xE3\x80\x8A Quorvel \xE3\x80\x8B\""), std::string::npos) << hints;
}

}  // namespace
}  // namespace quorvel
