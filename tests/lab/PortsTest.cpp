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
#include <regex>
#include <sstream>

#include "lab/Lab.h"
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
    for (const char* head : {"5 s from a confirmed restart to the next order</td></tr>\n<tr><th>"
                             "duration or cycles</th><td>130 s</td>",
                             "<td>pxemsrt</td><td>cold</td><td>cold: $PXEMSRT,C*3A CR LF</td>"
                             "<td>clock-reset</td>"})
        EXPECT_NE(Slurp(o.report).find(head), std::string::npos) << head;
}

TEST(LabPorts, ListsEachComNumberWithALinkOrADeviceAsTheWindowDoes) {
    QTemporaryDir dir;
    sim::Pty pty;
    std::string error, ports = dir.filePath("quorvel/ports").toStdString();
    ASSERT_TRUE(pty.Open(error) && std::filesystem::create_directories(ports)) << error;
    std::filesystem::create_symlink(pty.device(), ports + "/com7");
    std::filesystem::create_symlink("/nonexistent/ttyGone", ports + "/com3");
    QProcess lab;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", dir.path());
    lab.setProcessEnvironment(env);
    lab.start(QUORVEL_BINARY_DIR "/src/lab/quorvel-lab", {"--ports"});
    ASSERT_TRUE(lab.waitForFinished(10000) && lab.exitCode() == 0);
    const std::string list = lab.readAllStandardOutput().toStdString();
    for (const std::string& line :
         {"COM 3   " + ports + "/com3 -> /nonexistent/ttyGone (not present)\n",
          "COM 7   " + ports + "/com7 -> " + pty.device() + " (present)\n"})
        EXPECT_NE(list.find(line), std::string::npos) << list;
    EXPECT_EQ(list.find("COM 2 ") != std::string::npos, std::filesystem::exists("/dev/ttyS1"));
}

}  // namespace
}  // namespace quorvel::lab
