// Test main for the lab's suite: the event loop the lab program runs on, so that every test
// that turns it (real ports, timers, sockets, child programs) tries it too.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cstdio>

#include "lab/ports/EpollDispatcher.h"

int main(int argc, char** argv) {
    auto* dispatcher = new quorvel::lab::EpollDispatcher;
    if (!dispatcher->Usable()) {
        std::fprintf(stderr, "lab_tests: no epoll here\n");
        return 1;
    }
    QCoreApplication::setEventDispatcher(dispatcher);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
