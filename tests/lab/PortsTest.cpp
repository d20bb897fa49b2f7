// The ports the lab opens: a receiver behind a device server that goes away and comes back
// (an in-process server playing the simulator's receiver), and the COM numbers --ports lists.
#include <gtest/gtest.h>

#include <QEventLoop>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>

#include "lab/Lab.h"
#include "lab/command/Options.h"
#include "sim/Pty.h"
#include "sim/Receiver.h"

namespace quorvel::lab {
namespace {

std::string Slurp(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

TEST(LabNet, AServerThatGoesAwayGivesPortErrorAndTheRunGoesOnWhenItIsBack) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    const quint16 port = server.serverPort();
    sim::ReceiverConfig config;
    config.noFixAfterRestart = 2;
    sim::Receiver rx(config);
    QTcpSocket* client = nullptr;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        client = server.nextPendingConnection();
        // One client only, as socat without fork: when it goes, the server goes.
        QObject::connect(client, &QTcpSocket::disconnected, &server, &QTcpServer::close);
        QObject::connect(client, &QTcpSocket::readyRead, [&rx, c = client] {
            if (sim::IsColdStartOrder(sim::Family::Pxemsrt, c->readAll().toStdString()))
                rx.OnOrder();
        });
    });
    QTemporaryDir dir;
    const std::string address = "tcp://127.0.0.1:" + std::to_string(port);
    LabOptions o = ParseLabOptions({address, "--interval", "5", "--retry", "1"}).options;
    o.journal = dir.filePath("j.csv").toStdString();
    o.report = dir.filePath("r.html").toStdString();
    o.durationS = 130;
    std::ostringstream out;
    Lab lab(o, out, 20);
    std::string error, reportDuringRun;
    ASSERT_TRUE(lab.Begin(error)) << error;
    // One burst a lab second; the server gone from second 30 to 45.
    for (int second = 0; !lab.Ended(); ++second) {
        if (second == 30) client->close();  // and the server with it
        ASSERT_TRUE(second != 45 || server.listen(QHostAddress::LocalHost, port));
        if (second == 70) reportDuringRun = Slurp(o.report);
        if (const auto epoch = rx.NextBurst(); epoch && client && client->isOpen())
            client->write(QByteArray::fromStdString(sim::Burst(*epoch)));
        QEventLoop wait;
        QTimer::singleShot(20, &wait, &QEventLoop::quit);
        wait.exec();
    }
    std::string verdicts, row;
    std::istringstream journal(Slurp(o.journal));
    for (std::getline(journal, row); std::getline(journal, row);)
        verdicts += row.substr(row.find(',', row.find(',', row.find(',') + 1) + 1) + 1) + "|";
    const std::string ok = "(ok,[0-9.]+,[0-9.]+,[^|]+\\|)+";
    EXPECT_TRUE(std::regex_search(
        verdicts, std::regex("^" + ok + "port-error,[^|]*\\|(cant-connect,[^|]*\\|)+" + ok)))
        << verdicts;
    for (const auto& [verdict, reason] :
         {std::pair("port-error", "The remote host closed the connection"),
          {"cant-connect", "Connection refused"}})
        EXPECT_NE(out.str().find(verdict + (": " + address) + ": " + reason), std::string::npos)
            << out.str();
    EXPECT_NE(reportDuringRun.find("<meta http-equiv=\"refresh\""), std::string::npos);
    EXPECT_EQ(Slurp(o.report).find("http-equiv"), std::string::npos);
    // The head: the run's span, its settings and the port's profile, start, order and sign.
    EXPECT_NE(reportDuringRun.find(", under way</td>"), std::string::npos);
    EXPECT_EQ(Slurp(o.report).find(", under way"), std::string::npos);
    for (const char* head : {"5 s from a start's first fix (or its fix limit) to the next order</td></tr>\n<tr><th>"
                             "duration or cycles</th><td>130 s</td>",
                             "<td>pxemsrt</td><td>cold</td><td>cold: $PXEMSRT,C*3A CR LF</td>"
                             "<td>clock-reset</td>"})
        EXPECT_NE(Slurp(o.report).find(head), std::string::npos) << head;
}

TEST(LabPorts, ListsEachComNumberWithALinkOrADeviceAsTheWindowDoes) {
    namespace fs = std::filesystem;
    sim::Pty pty;
    std::string error;
    ASSERT_TRUE(pty.Open(error)) << error;
    // clang-format off
    // Links to a serial device, to nothing, and to what no receiver is on; one whose target
    // holds a line end and what would read as an entry of its own after it.
    auto links = [&pty](const std::string& ports) {
        fs::create_directories(ports);
        std::ofstream(ports + "/file");
        for (const auto& [n, target] : {std::pair(7, pty.device()), {3, "/nonexistent/ttyGone"},
                                        {9, ports}, {10, ports + "/file"}, {11, "/dev/null"},
                                        {12, "/nonexistent/a\nCOM 13  b (present)"}})
            fs::create_symlink(target, ports + "/com" + std::to_string(n));
    };
    struct Case {
        const char* name;
        std::function<void(const std::string& ports)> make;
        int status;
        std::string said;  // on stdout or stderr, |-separated, "!" not said; PORTS the folder
        bool fullStdout = false;
    };
    const Case cases[] = {
        {"links", links, 0, "\nCOM 3   PORTS/com3 -> /nonexistent/ttyGone (not present)\n|"
         "\nCOM 7   PORTS/com7 -> " + pty.device() + " (present)\n|"
         "\nCOM 9   PORTS/com9 -> PORTS (not a serial device: a directory)\n|"
         "\nCOM 10  PORTS/com10 -> PORTS/file (not a serial device: a regular file)\n|"
         "\nCOM 11  PORTS/com11 -> /dev/null (not a serial device: a memory device)\n|"
         "\nCOM 12  PORTS/com12 -> /nonexistent/a\\x0aCOM 13  b (present) (not present)\n|!\nCOM 13"},
        {"a folder that is a file", [](const std::string& ports) { fs::create_directories(fs::path(ports).parent_path()); std::ofstream{ports}; },
         1, "cannot read the override folder PORTS: Not a directory"},
        {"a folder linked to itself", [](const std::string& ports) { fs::create_directories(fs::path(ports).parent_path()); fs::create_symlink(ports, ports); },
         1, "cannot read the override folder PORTS: Too many levels of symbolic links"},
        {"no folder", [](const std::string&) {}, 0, "!cannot"},
        {"a full stdout", links, 1, "cannot write the list to standard output: No space left on device", true},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const std::string ports =
            fs::canonical(dir.path().toStdString()).string() + "/quorvel/ports";
        c.make(ports);
        QProcess lab;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", dir.path());
        lab.setProcessEnvironment(env);
        if (c.fullStdout) lab.setStandardOutputFile("/dev/full");
        lab.start(QUORVEL_BINARY_DIR "/src/lab/quorvel-lab", {"--ports"});
        ASSERT_TRUE(lab.waitForFinished(10000));
        EXPECT_EQ(lab.exitCode(), c.status);
        const std::string said =
            (lab.readAllStandardOutput() + lab.readAllStandardError()).toStdString();
        std::stringstream parts(std::regex_replace(c.said, std::regex("PORTS"), ports));
        for (std::string part; std::getline(parts, part, '|');)
            EXPECT_EQ(said.find(part.substr(part[0] == '!')) == std::string::npos, part[0] == '!')
                << part << " in " << said;
        // The fixed table lists only the serial devices there are.
        EXPECT_EQ(said.find("\nCOM 2 ") != std::string::npos || said.rfind("COM 2 ", 0) == 0,
                  !c.fullStdout && fs::is_character_file("/dev/ttyS1"));
    }
}

}  // namespace
}  // namespace quorvel::lab
