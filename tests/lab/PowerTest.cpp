// Power switches through real shells and a real PDU daemon, and simulated receivers whose
// supply they switch.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <optional>

#include "lab/power/PowerSwitch.h"

namespace quorvel::lab {
namespace {

// What the switch's Done said, with the loop turning meanwhile; "(no answer)" after `ms`.
std::string SwitchNow(PowerSwitch& power, bool on, int ms = 5000) {
    std::optional<std::string> said;
    bool inside = true;
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    power.Switch(on, [&](const std::string& error) {
        said = (inside ? "(inside Switch) " : "") + error;
        loop.quit();
    });
    inside = false;
    EXPECT_TRUE(power.Busy());
    if (!said) loop.exec();
    EXPECT_FALSE(power.Busy());
    return said.value_or("(no answer)");
}

void Spin(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

std::string Slurp(const QString& path) {
    std::ifstream in(path.toStdString());
    return {std::istreambuf_iterator<char>(in), {}};
}

// Gone, or a zombie that nobody will wake again.
bool Dead(std::string pid) {
    while (!pid.empty() && pid.back() == '\n') pid.pop_back();
    if (pid.empty()) return false;
    for (int tries = 0; tries < 100; ++tries, ::usleep(20000)) {
        const std::string stat = Slurp(QString::fromStdString("/proc/" + pid + "/stat"));
        const std::size_t paren = stat.rfind(')');
        if (stat.empty() || (paren != std::string::npos && stat.substr(paren + 2, 1) == "Z"))
            return true;
    }
    return false;
}

TEST(PowerCommand, RunsThroughTheShellAndNamesEachFailure) {
    QTemporaryDir dir;
    const std::string d = dir.path().toStdString();
    // The outlet would run a command if it reached the shell unquoted.
    const std::string hostile = "3'; touch " + d + "/x #";
    const std::string written = "printf '%s|%s|%s' {outlet} {port} {device} > " + d + "/out";
    const std::string hangs = "sleep 30 & echo $! > " + d + "/child; wait";
    const std::tuple<std::string, bool, int, std::string> rows[] = {
        {written, false, 5000, ""},
        {"echo noise >&2; echo 'relay 4 stuck' >&2; exit 3", true, 5000,
         "power-on command exited with status 3: relay 4 stuck"},
        {"exit 2", false, 5000, "power-off command exited with status 2"},
        {"kill -TERM $$", false, 5000, "power-off command was killed by signal 15 (Terminated)"},
        {hangs, true, 200, "power-on command did not finish within 0.2 s"},
    };
    for (const auto& [command, on, timeoutMs, said] : rows) {
        const PowerPlan plan{command, command, {{"COM 5", hostile}}, "", timeoutMs};
        std::string error;
        const auto power = MakePowerSwitch(plan, "COM 5", "/dev/ttyUSB0", error);
        ASSERT_TRUE(power) << error;
        EXPECT_EQ(SwitchNow(*power, on), said) << command;
    }
    EXPECT_EQ(Slurp(dir.filePath("out")), hostile + "|COM 5|/dev/ttyUSB0");
    EXPECT_FALSE(QFile::exists(dir.filePath("x")));
    EXPECT_TRUE(Dead(Slurp(dir.filePath("child"))));  // the time-out took the shell's child too

    // A switch destroyed under way ends its command, and its Done never comes.
    std::string error;
    auto power = MakePowerSwitch({hangs, hangs, {}, "", 30000}, "COM 5", "", error);
    ASSERT_TRUE(power);
    bool called = false;
    QFile::remove(dir.filePath("child"));
    power->Switch(true, [&](const std::string&) { called = true; });
    for (int i = 0; i < 100 && Slurp(dir.filePath("child")).find('\n') == std::string::npos; ++i)
        Spin(20);
    const std::string child = Slurp(dir.filePath("child"));
    std::string second = "(none)";  // a second Switch while one is under way is refused, later
    power->Switch(false, [&](const std::string& error) { second = error; });
    EXPECT_EQ(second, "(none)");
    Spin(50);
    EXPECT_EQ(second, "the supply is already being switched");
    power.reset();
    Spin(100);
    EXPECT_FALSE(called);
    EXPECT_TRUE(Dead(child)) << child;
}

TEST(PowerPlan, EachPortGetsTheSwitchItsPlanAllows) {
    const std::string outlet = "ssh pdu outlet {outlet} off", port = "relay {port}";
    const std::string daemon = "http://127.0.0.1:16421";
    // The plan's commands or daemon, the port's outlet ("-" none): what it switches, or why not.
    const std::tuple<std::string, std::string, std::string, std::string> rows[] = {
        {outlet, "", "3", "outlet 3"},
        {port, "", "-", "the supply of COM 5"},
        {outlet, "", "-", "power: COM 5 has no outlet, and the power commands name {outlet}"},
        {"", daemon, "pdu1:3", "pdu1 outlet 3"},
        {"", daemon + "/", "rack:2:12", "rack:2 outlet 12"},
        {"", daemon, "3", "power: COM 5 needs its outlet as PDU:OUTLET (pdu1:3), not '3'"},
        {"", daemon, "pdu1:x", "power: COM 5 needs its outlet as PDU:OUTLET (pdu1:3), not 'pdu1:x'"},
        {"", daemon, "-", "power: COM 5 needs its outlet as PDU:OUTLET (pdu1:3), not ''"},
        {"", "https://pdu:1", "pdu1:3", "power: the PDU daemon 'https://pdu:1' is not http://HOST:PORT"},
        {"", "http://pdu:1/x", "pdu1:3", "power: the PDU daemon 'http://pdu:1/x' is not http://HOST:PORT"},
        {port, daemon, "pdu1:3", "power: give power commands or a PDU daemon, not both"},
    };
    for (const auto& [commands, pdudaemon, given, said] : rows) {
        PowerPlan plan{commands, commands, {}, pdudaemon};
        if (given != "-") plan.outlets["COM 5"] = given;
        std::string error;
        const auto power = MakePowerSwitch(plan, "COM 5", "/dev/ttyUSB0", error);
        EXPECT_EQ(power ? power->Describe() : error, said);
    }
    std::string error;
    EXPECT_FALSE(MakePowerSwitch({"true", "", {}, ""}, "COM 5", "", error));
    EXPECT_EQ(error, "power: both a power-off and a power-on command are needed");
}

// A pty's reader; what came within `ms`.
struct Tap {
    explicit Tap(const QString& device)
        : fd(::open(device.toLocal8Bit().constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK)) {}
    ~Tap() { ::close(fd); }
    std::string Read(int ms, const std::string& until = "") {
        std::string got;
        QElapsedTimer clock;
        clock.start();
        for (pollfd p{fd, POLLIN, 0}; clock.elapsed() < ms; p.revents = 0) {
            if (::poll(&p, 1, 20) <= 0) continue;
            char buffer[4096];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
            if (!until.empty() && got.find(until) != std::string::npos) break;
        }
        return got;
    }
    int fd;
};

// The next line of the simulator's output that holds `text`.
QString SimLine(QProcess& sim, const QString& text) {
    QElapsedTimer clock;
    for (clock.start(); clock.elapsed() < 5000;) {
        if (!sim.canReadLine() && !sim.waitForReadyRead(100)) continue;
        const QString line = QString(sim.readLine()).trimmed();
        if (line.contains(text)) return line;
    }
    return "(no line with " + text + ")";
}

TEST(PowerPdu, TheRealDaemonSwitchesSimulatedReceivers) {
    const QString pdudaemon = QStandardPaths::findExecutable("pdudaemon", {"/usr/sbin", "/usr/bin"});
    if (pdudaemon.isEmpty()) GTEST_SKIP() << "needs pdudaemon (scripts/setup.sh installs it)";
    QTemporaryDir dir;
    const QString d = dir.path();
    QTcpServer free[2];  // two ports, for the daemon and for nobody
    ASSERT_TRUE(free[0].listen(QHostAddress::LocalHost) && free[1].listen(QHostAddress::LocalHost));
    const quint16 port = free[0].serverPort(), closed = free[1].serverPort();
    free[0].close();
    free[1].close();
    QFile conf(d + "/pdudaemon.conf");
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write(QString(R"({"daemon": {"hostname": "127.0.0.1", "port": %1, "listener": "http"},
 "pdus": {"bench": {"driver": "localcmdline", "cmd_on": "echo on > %2/power%d",
                    "cmd_off": "echo off > %2/power%d"},
          "slow": {"driver": "localcmdline", "cmd_on": "sleep 2", "cmd_off": "sleep 2"}}})")
                   .arg(port)
                   .arg(d)
                   .toUtf8());
    conf.close();
    QProcess daemon, vanishing, staying;
    daemon.start(pdudaemon, {"--conf", conf.fileName(), "--loglevel", "ERROR"});
    const QStringList common = {"--rate-ms", "100", "--ttff", "4", "--power-file"};
    vanishing.start(QUORVEL_BINARY_DIR "/tools/quorvel-sim",
                    common + QStringList{d + "/power1", "--vanish", "--family", "pmtk", "--com",
                                         "7", "--ports-dir", d + "/ports"});
    staying.start(QUORVEL_BINARY_DIR "/tools/quorvel-sim",
                  common + QStringList{d + "/power2", "--family", "ubx"});
    const QString first = SimLine(vanishing, "quorvel-sim: /dev/").section(' ', 1);
    Tap held(first);  // its name may go to another pty at once: watch this one
    Tap ubx(SimLine(staying, "quorvel-sim: /dev/").section(' ', 1));

    const auto At = [](quint16 p) { return "PDU daemon at http://127.0.0.1:" + std::to_string(p) + ": "; };
    const auto Make = [&](const std::string& outlet, int timeoutMs, quint16 p) {
        std::string error;
        auto power = MakePowerSwitch(
            {"", "", {{"p", outlet}}, "http://127.0.0.1:" + std::to_string(p), timeoutMs}, "p", "",
            error);
        EXPECT_TRUE(power) << error;
        return power;
    };
    const auto Switch = [&](const std::string& outlet, bool on, int timeoutMs = 5000,
                            quint16 p = 0) { return SwitchNow(*Make(outlet, timeoutMs, p ? p : port), on); };
    std::string said = At(port) + "Connection refused";
    for (int i = 0; i < 150 && said == At(port) + "Connection refused"; ++i, Spin(i > 1 ? 100 : 0))
        said = Switch("bench:2", false);  // until the daemon listens
    EXPECT_EQ(said, "");
    ubx.Read(200);
    EXPECT_EQ(ubx.Read(400), "");  // off: silent

    const std::tuple<std::string, bool, int, quint16, std::string> rows[] = {
        {"bench:1", false, 5000, port, ""},
        {"nope:1", true, 5000, port,
         At(port) + "answered HTTP 500: Invalid request (does it know nope outlet 1?)"},
        {"slow:1", true, 300, port, At(port) + "no answer within 0.3 s"},
        {"bench:1", true, 5000, closed, At(closed) + "Connection refused"},
    };
    for (const auto& [outlet, on, timeoutMs, p, error] : rows)
        EXPECT_EQ(Switch(outlet, on, timeoutMs, p), error) << outlet;
    // Gone while off: its pty and its COM link.
    EXPECT_EQ(SimLine(vanishing, "powered off").section(' ', 3), first + " gone");
    pollfd hangUp{held.fd, POLLIN, 0};
    EXPECT_EQ(::poll(&hangUp, 1, 1000), 1);
    EXPECT_TRUE(hangUp.revents & POLLHUP);
    EXPECT_FALSE(std::filesystem::is_symlink(d.toStdString() + "/ports/com7"));
    {  // destroyed under way: no Done
        auto power = Make("slow:2", 5000, port);
        bool called = false;
        power->Switch(true, [&](const std::string&) { called = true; });
        Spin(50);
        power.reset();
        Spin(200);
        EXPECT_FALSE(called);
    }

    // Back under a new name, booting: its start-up text, then no fix (MediaTek's clock
    // default) for 3 bursts, the fix in the 4th, --ttff 4 periods after power-on.
    EXPECT_EQ(Switch("bench:1", true), "");
    const QString back = SimLine(vanishing, "powered on: ").section(' ', 3);
    EXPECT_NE(back.toStdString(), first.toStdString());
    EXPECT_EQ(std::filesystem::read_symlink(d.toStdString() + "/ports/com7").string(),
              back.toStdString());
    Tap pmtk(back);
    const std::string booted = pmtk.Read(3000, ",E,1,");
    EXPECT_TRUE(booted.starts_with("$PMTK011,MTKGPS*08\r\n$PMTK010,001*2E\r\n$GPGGA,235946.00,,"))
        << booted;
    const std::size_t fix = booted.find(",E,1,");
    int before = 0;
    for (std::size_t at = booted.find("$GPGGA"); at < fix; at = booted.find("$GPGGA", at + 1))
        ++before;
    EXPECT_EQ(before, 4);  // the fixed one included
    EXPECT_EQ(Switch("bench:2", true), "");
    const std::string ubxBooted = ubx.Read(3000, "*48\r\n");
    // Its first GGA after power-on has no time and no fix.
    EXPECT_EQ(ubxBooted.find("$GPGGA"), ubxBooted.find("$GPGGA,,,,,,0,00,99.99,,,,,,*48\r\n"))
        << ubxBooted;

    daemon.kill();
    vanishing.terminate();
    staying.terminate();
    EXPECT_TRUE(daemon.waitForFinished(5000) && vanishing.waitForFinished(5000) &&
                staying.waitForFinished(5000));
}

}  // namespace
}  // namespace quorvel::lab
