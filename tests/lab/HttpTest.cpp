// --http: what the server answers and refuses, Prometheus reading it, a browser following the
// page, and clients that must not move a cycle's time stamps.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>

#include "lab/Lab.h"
#include "lab/command/Options.h"
#include "lab/http/LabServer.h"

namespace quorvel::lab {
namespace {

const QString kBin = QUORVEL_BINARY_DIR;

// Turns the event loop until `done` or `ms` have passed; true when done.
bool TurnUntil(const std::function<bool()>& done, int ms) {
    QTimer beat;  // the loop wakes at least this often
    beat.start(20);
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// A whole reply to `request` (by its Content-Length, or up to the close), on the event loop.
std::string Ask(quint16 port, const QByteArray& request, int ms = 5000) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    socket.write(request);
    std::string got;
    TurnUntil([&] {
        got += socket.readAll().toStdString();
        const auto end = got.find("\r\n\r\n");
        if (end == std::string::npos) return socket.state() == QAbstractSocket::UnconnectedState;
        const auto at = got.find("Content-Length: ");
        const bool head = request.startsWith("HEAD");
        return socket.state() == QAbstractSocket::UnconnectedState ||
               (at != std::string::npos &&
                (head || got.size() - end - 4 >= std::stoul(got.substr(at + 16))));
    }, ms);
    return got;
}

std::string Get(quint16 port, const std::string& path) {
    return Ask(port, QByteArray::fromStdString("GET " + path + " HTTP/1.1\r\nHost: lab\r\n\r\n"));
}

std::string Body(const std::string& reply) {
    const auto end = reply.find("\r\n\r\n");
    return end == std::string::npos ? "" : reply.substr(end + 4);
}

std::string Slurp(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "";
}

// promtool's verdict on an exposition: empty when it takes it.
std::string Promtool(const std::string& text) {
    QProcess promtool;
    promtool.start("promtool", {"check", "metrics"});
    promtool.write(QByteArray::fromStdString(text));
    promtool.closeWriteChannel();
    promtool.waitForFinished(20000);
    return promtool.exitCode() == 0 ? "" : (promtool.readAll() + promtool.readAllStandardError()).toStdString();
}

TEST(LabHttp, ServesItsThreePathsReadOnlyAndEscapesWhatReceiversSay) {
    QTemporaryDir dir;
    // A long journal goes out in many chunks.
    std::string journal = "utc,receiver\n";
    while (journal.size() < 3'000'000) journal += "2026-12-07T04:30:00.123Z,COM5," + std::to_string(journal.size()) + "\n";
    std::ofstream(dir.filePath("j.csv").toStdString()) << journal;
    LabServer server({.reportPage = [] { return std::string("<html><body><p>bench</p></body></html>\n"); },
                      .portUp = [](std::size_t i) { return i == 0; },
                      .journal = dir.filePath("j.csv").toStdString()},
                     true);
    server.Metrics().AddReceiver("COM\"5\\", "ubx", "cold");
    server.Metrics().AddReceiver("tcp://a\nb\xff", "auto", "warm");
    Row ok, noFix;
    ok.restartS = 4, ok.ttffS = 12.5, ok.start = "cold", ok.profile = "ubx";
    ok.make = "u-\"blox\"", ok.model = "NEO\\M8";
    noFix.verdict = Verdict::NoFix, noFix.restartS = 700, noFix.start = "warm";
    server.Metrics().Add(0, ok, Decision::Pass);
    server.Metrics().Add(1, noFix);
    Row power;  // the last verdict of all
    power.verdict = Verdict::PowerError, power.start = "power";
    server.Metrics().Add(1, power);
    std::string error, said;
    ASSERT_TRUE(server.Listen({}, error, said)) << error;
    EXPECT_EQ(said.find("anyone"), std::string::npos) << said;
    const quint16 port = server.Port();
    struct Case {
        std::string request;
        std::string status;           // the reply's first line
        std::vector<std::string> has;  // in the reply
    };
    const std::string get = " HTTP/1.1\r\nHost: lab\r\n\r\n";
    const std::vector<Case> cases = {
        {"GET /" + get, "HTTP/1.1 200 OK", {"<p>bench</p>", "<script id=\"quorvel-live\">", "</script>\n</body>"}},
        {"GET /metrics?x=1" + get, "HTTP/1.1 200 OK",
         {"Content-Type: text/plain; version=0.0.4",
          "quorvel_lab_cycles_total{receiver=\"COM\\\"5\\\\\",start=\"cold\",verdict=\"ok\"} 1\n",
          "quorvel_lab_cycles_total{receiver=\"tcp://a\\nb\xEF\xBF\xBD\",start=\"warm\",verdict=\"no-fix\"} 1\n",
          "quorvel_lab_cycles_total{receiver=\"tcp://a\\nb\xEF\xBF\xBD\",start=\"warm\",verdict=\"ok\"} 0\n",
          "quorvel_lab_cycles_total{receiver=\"tcp://a\\nb\xEF\xBF\xBD\",start=\"power\",verdict=\"power-error\"} 1\n",
          "quorvel_lab_receiver_info{receiver=\"COM\\\"5\\\\\",profile=\"ubx\",make=\"u-\\\"blox\\\"\",model=\"NEO\\\\M8\",firmware=\"\"} 1\n",
          "quorvel_lab_ttff_seconds_bucket{receiver=\"COM\\\"5\\\\\",start=\"cold\",le=\"10\"} 0\n",
          "quorvel_lab_ttff_seconds_bucket{receiver=\"COM\\\"5\\\\\",start=\"cold\",le=\"20\"} 1\n",
          "quorvel_lab_ttff_seconds_sum{receiver=\"COM\\\"5\\\\\",start=\"cold\"} 12.5\n",
          "quorvel_lab_restart_seconds_bucket{receiver=\"tcp://a\\nb\xEF\xBF\xBD\",start=\"warm\",le=\"600\"} 0\n",
          "quorvel_lab_restart_seconds_bucket{receiver=\"tcp://a\\nb\xEF\xBF\xBD\",start=\"warm\",le=\"+Inf\"} 1\n",
          "quorvel_lab_port_up{receiver=\"COM\\\"5\\\\\"} 1\n", "quorvel_lab_port_up{receiver=\"tcp://a\\nb\xEF\xBF\xBD\"} 0\n",
          "quorvel_lab_decision{receiver=\"COM\\\"5\\\\\",start=\"cold\",decision=\"pass\"} 1\n",
          "quorvel_lab_decision{receiver=\"tcp://a\\nb\xEF\xBF\xBD\",start=\"warm\",decision=\"undecided\"} 1\n"}},
        {"HEAD /journal.csv" + get, "HTTP/1.1 200 OK", {"Content-Length: " + std::to_string(journal.size()) + "\r\n"}},
        {"GET /journal.csv" + get, "HTTP/1.1 200 OK", {"\r\n\r\n" + journal}},
        {"POST /metrics HTTP/1.1\r\nHost: lab\r\nContent-Length: 2\r\n\r\nhi", "HTTP/1.1 405 Method Not Allowed", {"Allow: GET, HEAD"}},
        {"DELETE /journal.csv" + get, "HTTP/1.1 405 Method Not Allowed", {}},
        {"PUT /" + get, "HTTP/1.1 405 Method Not Allowed", {}},
        {"GET /metrics/" + get, "HTTP/1.1 404 Not Found", {}},
        {"GET /../j.csv" + get, "HTTP/1.1 404 Not Found", {}},
        {"GET /report.html" + get, "HTTP/1.1 404 Not Found", {}},
        {"GET /" + std::string(9000, 'a') + get, "HTTP/1.1 431 Request Header Fields Too Large", {}},
    };
    for (const Case& c : cases) {
        const std::string reply = Ask(port, QByteArray::fromStdString(c.request));
        EXPECT_EQ(reply.substr(0, reply.find("\r\n")), c.status) << c.request.substr(0, 40);
        for (const std::string& part : c.has)
            EXPECT_NE(reply.find(part), std::string::npos) << c.request.substr(0, 40) << " lacks " << part;
        if (c.request.starts_with("HEAD")) {
            EXPECT_EQ(Body(reply), "");
        }
    }
    if (QStandardPaths::findExecutable("promtool").isEmpty())
        GTEST_SKIP() << "needs promtool (Debian package prometheus; scripts/setup.sh installs it)";
    EXPECT_EQ(Promtool(Body(Get(port, "/metrics"))), "");
}

TEST(LabHttp, ConnectionsBeyondTheCapAreRefusedAndIdleOrSlowOnesDropped) {
    LabServer server({.reportPage = [] { return std::string("<body></body>"); },
                      .portUp = [](std::size_t) { return true; },
                      .journal = "/nonexistent/j.csv"},
                     false, {.connections = 8, .requestBytes = 8192, .idle = std::chrono::milliseconds(1500)});
    std::string error, said;
    ASSERT_TRUE(server.Listen({}, error, said)) << error;
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < 12; ++i) {
        clients.push_back(std::make_unique<QTcpSocket>());
        clients.back()->connectToHost(QHostAddress::LocalHost, server.Port());
    }
    // One byte of a request at a time, each well within the idle time: slow, and dropped too.
    const QByteArray request = "GET / HTTP/1.1\r\nHost: lab\r\n\r\n";
    QTimer drip;
    int sent = 0;
    QObject::connect(&drip, &QTimer::timeout, [&] { clients[0]->write(request.mid(sent++ % request.size(), 1)); });
    drip.start(100);
    QElapsedTimer clock;
    clock.start();
    const auto open = [&] {
        int n = 0;
        for (const auto& c : clients) n += c->state() == QAbstractSocket::ConnectedState;
        return n;
    };
    // A busy machine may be slow to turn the loop: wait for the four refusals, not a time.
    std::string refused;
    TurnUntil([&] {
        for (const auto& c : clients) refused += c->readAll().toStdString();
        std::size_t n = 0;
        for (auto at = refused.find("HTTP/1.1 503"); at != std::string::npos; at = refused.find("HTTP/1.1 503", at + 1)) ++n;
        return n == 4 && open() == 8;
    }, 1400);
    EXPECT_EQ(open(), 8);
    EXPECT_NE(refused.find("HTTP/1.1 503"), std::string::npos);
    EXPECT_TRUE(TurnUntil([&] { return open() == 0; }, 6000)) << open();
    EXPECT_GE(clock.elapsed(), 1500);  // whole milliseconds: the drop may land on 1500 exactly
    EXPECT_LT(sent, request.size());  // the slow request never came whole
    // And the server answers the next client.
    EXPECT_EQ(Get(server.Port(), "/journal.csv").substr(0, 22), "HTTP/1.1 404 Not Found");
}

TEST(LabHttp, APortInUseOrAnAddressNotHereIsNamed) {
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost));
    struct Case {
        std::string arg, error;  // error: "" when it serves
    };
    for (const Case& c : std::vector<Case>{
             {std::to_string(taken.serverPort()), "--http: cannot serve on 127.0.0.1:" + std::to_string(taken.serverPort()) + ": The bound address is already in use"},
             {"192.0.2.1:0", "--http: cannot serve on 192.0.2.1:0: The address is not available"},
             {"[::1]:0", ""}}) {
        std::ostringstream out;
        LabOptions o = ParseLabOptions({"--http", c.arg, "--journal", "/nonexistent/j.csv", "COM5"}).options;
        Lab lab(o, out, 1);
        std::string error;
        EXPECT_EQ(lab.Begin(error), false) << c.arg;  // the journal's folder is missing
        EXPECT_EQ(c.error.empty() ? error.substr(0, 22) : error, c.error.empty() ? "cannot open the journa" : c.error);
        if (c.error.empty()) {
            EXPECT_NE(out.str().find("Serving the bench at http://[::1]:"), std::string::npos);
        }
    }
    for (const std::string bad : {"host:80", "::1:80", "65536", "-1", "1.2.3.4:", ""}) {
        const auto parsed = ParseLabOptions({"--http", bad, "COM5"});
        EXPECT_TRUE(parsed.error.starts_with("--http: bad value '" + bad + "'")) << bad << ": " << parsed.error;
    }
}

// A simulated receiver on a lab whose second is 0.1 s; `port` 0 takes a free one.
struct Bench {
    QProcess sim;
    QTemporaryDir dir;
    std::ostringstream out;
    std::unique_ptr<Lab> lab;
    quint16 port = 0;

    Bench(QStringList simArgs, std::vector<std::string> args, int cycles) {
        sim.start(kBin + "/tools/quorvel-sim", simArgs + QStringList{"--rate-ms", "100"});
        sim.waitForReadyRead(5000);
        args.insert(args.end(), {"--interval", "1", "--retry", "1", "--cycles", std::to_string(cycles),
                                 "--journal", Journal().toStdString(),
                                 QString(sim.readLine()).section(' ', 1, 1).trimmed().toStdString()});
        lab = std::make_unique<Lab>(ParseLabOptions(args).options, out, 100);
    }
    ~Bench() {
        lab.reset();
        sim.terminate();
        sim.waitForFinished(5000);
    }
    QString Journal() const { return dir.filePath("j.csv"); }
    bool Begin() {
        std::string error;
        if (!lab->Begin(error)) return ADD_FAILURE() << error, false;
        const auto at = out.str().find("http://127.0.0.1:");
        if (at != std::string::npos) port = static_cast<quint16>(std::stoi(out.str().substr(at + 17)));
        return true;
    }
};

// A client that blocked the lab's thread, or a server that waited on one, would show in the
// stamps: the simulator restarts 4 bursts after the order and has its fix 3 later, so at 0.1 s
// a lab second the journal says 4.0 and 7.0.
TEST(LabHttp, SlowAndIdleClientsLeaveTheCyclesTimeStampsWhereTheyWere) {
    Bench bench({"--ttff", "3"}, {"--http", "0"}, 4);
    ASSERT_TRUE(bench.Begin());
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < 100; ++i) {
        idle.push_back(std::make_unique<QTcpSocket>());
        idle.back()->connectToHost(QHostAddress::LocalHost, bench.port);
    }
    QTcpSocket slow;  // one byte a second
    slow.connectToHost(QHostAddress::LocalHost, bench.port);
    QTimer drip;
    QObject::connect(&drip, &QTimer::timeout, [&slow] { slow.write("G"); });
    drip.start(1000);
    // And readers that ask all the time, the page among them.
    QTimer reader;
    int pages = 0;
    QObject::connect(&reader, &QTimer::timeout, [&] { pages += Get(bench.port, "/").find("quorvel-live") != std::string::npos; });
    reader.start(300);
    ASSERT_TRUE(TurnUntil([&] { return bench.lab->Ended(); }, 60000));
    reader.stop();
    EXPECT_GT(pages, 0);
    int ok = 0;
    for (const QString& line : QString::fromStdString(Slurp(bench.Journal())).split('\n', Qt::SkipEmptyParts).mid(1)) {
        const QStringList f = line.split(',');
        if (f[3] != "ok" || f[5].isEmpty()) continue;
        ++ok;
        EXPECT_NEAR(f[4].toDouble(), 4.0, 0.5) << line.toStdString();
        EXPECT_NEAR(f[5].toDouble(), 7.0, 0.5) << line.toStdString();
    }
    EXPECT_GE(ok, 3);
}

// The real Prometheus scrapes the lab; what it holds of the cycles is what the journal holds.
TEST(LabHttp, PrometheusCountsTheCyclesTheJournalHolds) {
    if (QStandardPaths::findExecutable("prometheus").isEmpty())
        GTEST_SKIP() << "needs prometheus (Debian package prometheus; scripts/setup.sh installs it)";
    const auto freePort = [] {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        return probe.serverPort();
    };
    const quint16 labPort = freePort(), promPort = freePort();
    Bench bench({"--ttff", "3"}, {"--http", std::to_string(labPort)}, 3);
    std::ofstream(bench.dir.filePath("p.yml").toStdString())
        << "global: {scrape_interval: 1s}\nscrape_configs:\n  - job_name: lab\n"
        << "    static_configs: [{targets: ['127.0.0.1:" << labPort << "']}]\n";
    QProcess prometheus;
    prometheus.start("prometheus", {"--config.file=" + bench.dir.filePath("p.yml"),
                                    "--storage.tsdb.path=" + bench.dir.filePath("tsdb"),
                                    "--web.listen-address=127.0.0.1:" + QString::number(promPort)});
    ASSERT_TRUE(bench.Begin());
    // The run ends; its lab, still there, goes on serving what it ended with.
    ASSERT_TRUE(TurnUntil([&] { return bench.lab->Ended(); }, 60000));
    std::map<std::string, int> journal;  // "receiver verdict": rows
    for (const QString& line : QString::fromStdString(Slurp(bench.Journal())).split('\n', Qt::SkipEmptyParts).mid(1))
        ++journal[(line.section(',', 1, 1) + ' ' + line.section(',', 3, 3)).toStdString()];
    ASSERT_FALSE(journal.empty());
    std::map<std::string, int> scraped;
    const QByteArray query = "GET /api/v1/query?query=" +
                             QUrl::toPercentEncoding("quorvel_lab_cycles_total > 0") +
                             " HTTP/1.0\r\nHost: prometheus\r\n\r\n";
    TurnUntil([&] {
        scraped.clear();
        const auto reply = QJsonDocument::fromJson(QByteArray::fromStdString(Body(Ask(promPort, query))));
        for (const QJsonValue& series : reply.object()["data"].toObject()["result"].toArray()) {
            const QJsonObject labels = series.toObject()["metric"].toObject();
            scraped[(labels["receiver"].toString() + ' ' + labels["verdict"].toString()).toStdString()] =
                series.toObject()["value"].toArray()[1].toString().toInt();
        }
        return scraped == journal;
    }, 30000);
    EXPECT_EQ(scraped, journal);
    prometheus.terminate();
    prometheus.waitForFinished(10000);
}

}  // namespace
}  // namespace quorvel::lab
