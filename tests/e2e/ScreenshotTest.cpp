// Pictures of the window on a real X server: idle, running, confirmed (green) and failed (red).
// The test starts a private Xvfb and runs this same program again on it, filtered to the
// ScreenshotsOnX case, since the platform of a running QApplication cannot change.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFileInfo>
#include <QPixmap>
#include <cstdlib>
#include <filesystem>

#include "EndToEnd.h"

namespace quorvel::e2e {
namespace {

using namespace quorvel::texts;

const char* kShotDirVariable = "QUORVEL_SCREENSHOT_DIR";

std::string ShotDir() { return std::string(QUORVEL_BINARY_DIR) + "/screenshots"; }

std::string FindInPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    for (std::size_t start = 0; start <= dirs.size();) {
        std::size_t colon = dirs.find(':', start);
        if (colon == std::string::npos) colon = dirs.size();
        const std::string candidate = dirs.substr(start, colon - start) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        start = colon + 1;
    }
    return {};
}

// A child process, killed and reaped when it goes out of scope.
class Child {
  public:
    Child() = default;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() { Stop(); }
    void Start(std::vector<std::string> argv, const std::vector<std::string>& env, int keepFd) {
        pid_ = ::fork();
        if (pid_ != 0) return;
        for (const std::string& e : env) ::putenv(const_cast<char*>(e.c_str()));
        if (keepFd < 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 2);
        }
        std::vector<char*> args;
        for (std::string& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    // The exit code, or -1 when it did not end within `ms` (it is then killed).
    int Wait(int ms) {
        for (int waited = 0; waited < ms; waited += 10) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            ::usleep(10000);
        }
        Stop();
        return -1;
    }
    void Stop() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

  private:
    pid_t pid_ = -1;
};

TEST(Screenshots, TheWindowOnAPrivateXServerIdleRunningConfirmedAndFailed) {
    const std::string xvfb = FindInPath("Xvfb");
    if (xvfb.empty()) GTEST_SKIP() << "Xvfb is not installed (Debian package xvfb): no screenshots";
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    Child server;
    server.Start({xvfb, "-displayfd", std::to_string(pipeFds[1]), "-screen", "0", "800x600x24",
                  "-nolisten", "tcp"},
                 {}, -1);
    ::close(pipeFds[1]);
    std::string display;
    char c;
    while (::read(pipeFds[0], &c, 1) == 1 && c != '\n') display += c;
    ::close(pipeFds[0]);
    ASSERT_FALSE(display.empty()) << "Xvfb gave no display number";

    std::filesystem::remove_all(ShotDir());
    std::filesystem::create_directories(ShotDir());
    Child shooter;
    shooter.Start({"/proc/self/exe", "--gtest_filter=ScreenshotsOnX.*"},
                  {"DISPLAY=:" + display, "QT_QPA_PLATFORM=xcb",
                   std::string(kShotDirVariable) + "=" + ShotDir()},
                  2);
    ASSERT_EQ(shooter.Wait(60000), 0);
    for (const char* look : {"idle", "running", "confirmed", "failed"}) {
        const QString file = QString::fromStdString(ShotDir()) + "/quorvel-" + look + ".png";
        QPixmap shot(file);
        EXPECT_FALSE(shot.isNull()) << file.toStdString();
        std::printf("[   shot   ] %s %dx%d\n", file.toUtf8().constData(), shot.width(),
                    shot.height());
    }
}

class ScreenshotsOnX : public EndToEnd {
  protected:
    void SetUp() override {
        shotDir_ = qEnvironmentVariable(kShotDirVariable);
        if (shotDir_.isEmpty()) GTEST_SKIP() << "runs only inside the Screenshots test";
        EndToEnd::SetUp();
    }
    void Shoot(const char* look) {
        Window().repaint();
        const QString file = shotDir_ + "/quorvel-" + look + ".png";
        EXPECT_TRUE(Window().grab().save(file)) << file.toStdString();
    }
    QString shotDir_;
};

TEST_F(ScreenshotsOnX, Shots) {
    // A long reboot keeps the count on screen for a while.
    Sim& sim = StartSim({"--reboot-silence", "20", "--start-time", "083000"});
    Launch("9600");
    ASSERT_TRUE(WaitFor([&] { return Window().isVisible() && Window().windowOpacity() >= 1.0; }));
    Shoot("idle");

    ClickStart();
    ASSERT_TRUE(WaitFor([&] { return Window().StatusText() == S(kColdStarting) + " 5(Sec)"; }))
        << History();
    Shoot("running");
    ASSERT_TRUE(WaitFor([&] { return Window().StatusText().ends_with(" 27(S)"); })) << History();
    Shoot("confirmed");

    // The receiver is pulled out right after the order: no answer, the red verdict.
    StopAndExpectIdle();
    sim.Unplug();
    Sim& mute = StartSim({"--never-restart", "--start-time", "083500"});
    ClickStart();
    ASSERT_TRUE(WaitFor([&] { return mute.Orders() == 1; })) << mute.Out();
    mute.Unplug();
    ASSERT_TRUE(WaitFor([&] { return StatusColour() == kRed; })) << History();
    Shoot("failed");
}

}  // namespace
}  // namespace quorvel::e2e
