// The lab's event loop (this suite's main installs it): what the rest of the suite does not
// reach through the lab itself.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTemporaryFile>
#include <QTimer>
#include <functional>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

namespace {

struct Pipe {
    int fd[2] = {-1, -1};
    Pipe() { EXPECT_EQ(pipe(fd), 0); }
    ~Pipe() {
        for (const int f : fd)
            if (f >= 0) close(f);
    }
};

// Turns the loop once, waiting, with a fallback timer in case nothing else would end the wait.
// True when something other than the fallback ended it.
bool TurnOnce() {
    bool fellBack = false;
    QTimer fallback;
    fallback.setSingleShot(true);
    QObject::connect(&fallback, &QTimer::timeout, [&] { fellBack = true; });
    fallback.start(10000);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return !fellBack;
}

TEST(LabEventLoop, WakesForWhatIsReadyAndCallsOnlyLiveNotifiers) {
    struct Case {
        const char* name;
        // Sets up the descriptors and notifiers; `called` counts handler calls.
        std::function<void(std::vector<std::unique_ptr<QSocketNotifier>>&, int& called)> setUp;
        int expectedCalls;
    };
    Pipe a, b, c, d;
    QTemporaryFile plain;
    ASSERT_TRUE(plain.open());
    const auto reader = [](int fd, int& called) {
        auto n = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QObject::connect(n.get(), &QSocketNotifier::activated, [&called] { ++called; });
        return n;
    };
    const Case cases[] = {
        {"data on a pipe",
         [&](auto& ns, int& called) {
             ns.push_back(reader(a.fd[0], called));
             ASSERT_EQ(write(a.fd[1], "x", 1), 1);
         },
         1},
        {"a hang-up wakes the reader, whose read then meets the end",
         [&](auto& ns, int& called) {
             ns.push_back(reader(b.fd[0], called));
             close(std::exchange(b.fd[1], -1));
         },
         1},
        {"a plain file, which epoll refuses, is ready at once",
         [&](auto& ns, int& called) { ns.push_back(reader(plain.handle(), called)); }, 1},
        {"a notifier the first handler deleted is not called",
         [&](auto& ns, int& called) {
             for (Pipe* p : {&c, &d}) {
                 ASSERT_EQ(write(p->fd[1], "x", 1), 1);
                 ns.push_back(std::make_unique<QSocketNotifier>(p->fd[0], QSocketNotifier::Read));
             }
             for (std::size_t i = 0; i < 2; ++i)
                 QObject::connect(ns[i].get(), &QSocketNotifier::activated, [&ns, &called, i] {
                     ++called;
                     ns[1 - i].reset();
                 });
         },
         1},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.name);
        std::vector<std::unique_ptr<QSocketNotifier>> notifiers;
        int called = 0;
        t.setUp(notifiers, called);
        EXPECT_TRUE(TurnOnce());
        EXPECT_EQ(called, t.expectedCalls);
        notifiers.clear();
    }
}

TEST(LabEventLoop, AnEventPostedFromAnotherThreadEndsAWait) {
    bool ran = false;
    std::thread poster([&ran] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        QMetaObject::invokeMethod(qApp, [&ran] { ran = true; }, Qt::QueuedConnection);
    });
    EXPECT_TRUE(TurnOnce());
    poster.join();
    QCoreApplication::processEvents();
    EXPECT_TRUE(ran);
}

}  // namespace
