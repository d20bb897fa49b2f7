// The real quorvel-lab against quorvel-sim on ptys, and the report drawn in a headless browser.
#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <fstream>

#include "lab/record/Journal.h"
#include "lab/present/Report.h"

namespace quorvel::lab {
namespace {

const QString kBin = QUORVEL_BINARY_DIR;

// A simulated receiver; its pty once it is up.
QString StartSim(QProcess& sim, QStringList args) {
    sim.start(kBin + "/tools/quorvel-sim", args + QStringList{"--rate-ms", "100"});
    sim.waitForReadyRead(5000);
    return QString(sim.readLine()).section(' ', 1, 1).trimmed();
}

TEST(LabProgram, JournalsTheRealRunAndEndsCleanlyOnSigterm) {
    QProcess bad;
    bad.start(kBin + "/src/lab/quorvel-lab", {"--baud", "300", "COM5"});
    ASSERT_TRUE(bad.waitForFinished(10000));
    EXPECT_EQ(QString::number(bad.exitCode()) + bad.readAllStandardError(),
              "2quorvel-lab: --baud: bad rate '300'\n");
    QTemporaryDir dir;
    QProcess restarting, silent, lab;
    const QString a = StartSim(restarting, {"--ttff", "3"});
    const QString b = StartSim(silent, {"--silent"});
    ASSERT_TRUE(a.startsWith("/dev/") && b.startsWith("/dev/"));
    // An earlier journal, cut short by a kill: its header stays the only one.
    QFile journal(dir.filePath("j.csv"));
    ASSERT_TRUE(journal.open(QIODevice::ReadWrite));
    journal.write(QByteArray(kJournalHeader) + "\nx,CO");
    journal.flush();
    lab.start(kBin + "/src/lab/quorvel-lab",
              {"--interval", "2", "--retry", "1", "--journal", journal.fileName(), a, b});
    QThread::msleep(6000);  // the lab's second is real: connection, order, restart, probe
    lab.terminate();
    ASSERT_TRUE(lab.waitForFinished(10000));
    EXPECT_TRUE(lab.exitStatus() == QProcess::NormalExit && lab.exitCode() == 0);
    EXPECT_TRUE(lab.readAllStandardOutput().contains("\nreceiver "));

    journal.seek(0);
    const QStringList lines = QString(journal.readAll()).split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines.mid(0, 2), QStringList({kJournalHeader, "x,CO"}));
    int ok = 0, cantConnect = 0;
    for (const QString& line : lines.mid(2)) {
        const QStringList f = line.split(',');
        ASSERT_EQ(f.size(), static_cast<int>(kJournalColumns)) << line.toStdString();
        if (f[1] == a && (f[3] == "ok" || f[3] == "ended")) {  // the last may end before its fix
            ok += !f[5].isEmpty();  // 4 bursts of 0.1 s to the restart, 3 more to the fix
            EXPECT_NEAR(f[4].toDouble(), 0.4, 0.3) << line.toStdString();
            EXPECT_TRUE(f[5].isEmpty() || qAbs(f[5].toDouble() - 0.7) < 0.3) << line.toStdString();
        } else if (f[1] == b && f[3] == "cant-connect") {
            ++cantConnect;
        } else {
            ADD_FAILURE() << line.toStdString();
        }
    }
    EXPECT_GE(ok, 1);
    EXPECT_EQ(cantConnect, 1);
    restarting.terminate();
    silent.terminate();
    EXPECT_TRUE(restarting.waitForFinished(5000) && silent.waitForFinished(5000));
}

TEST(LabReport, ChartsAreDrawnInABrowser) {
    const QString chromium = QStandardPaths::findExecutable("chromium");
    if (chromium.isEmpty() || !QFile::exists(kChartJs))
        GTEST_SKIP() << "needs chromium and libjs-chart.js (scripts/setup.sh installs both)";
    QTemporaryDir dir;
    // 250,000 cycles (98 days at 30 s) first: its charts must not take the later ones with them.
    std::ofstream journal(dir.filePath("r.csv").toStdString());
    journal << kJournalHeader << "\n";
    for (int cycle = 1; cycle <= 250000; ++cycle)
        journal << "2026-01-01T00:00:00.000Z,COM6," << cycle << ",ok,4," << 20 + cycle % 7
                << ",12,0.9,cold,ubx,,,," << cycle % 11 * 3 << ",,3d fix,\n";
    for (int cycle = 1; cycle <= 20; ++cycle)
        journal << "2026-01-02T00:00:" << 10 + cycle << ".000Z,COM5," << cycle << ",ok,4,"
                << 9 + cycle % 5 << ",12,0.9,warm,pmtk,,NEO<b>,,,,any fix,\n";
    journal.close();
    QProcess report, browser;
    report.start(kBin + "/src/lab/quorvel-lab",
                 {"report", "--pass-ttff", "22", dir.filePath("r.csv")});
    ASSERT_TRUE(report.waitForFinished(60000));
    EXPECT_EQ(report.exitCode(), 3);
    QFile html(dir.filePath("r.html"));
    ASSERT_TRUE(html.open(QIODevice::ReadOnly));
    const std::string page = html.readAll().toStdString();
    // The head says how the page was made and what is not known; the long run stays small.
    for (const char* text :
         {"by quorvel-lab " QUORVEL_VERSION " on host ",
          "rows from 2026-01-01T00:00:00.000Z to 2026-01-02T00:00:30.000Z",
          "<th>interval</th><td>not in the journals", "at most 22 s",
          "3d fix (COM6); any fix (COM5)", "<td>COM5</td><td>pmtk</td><td>warm</td>",
          "&#10008; FAIL: 1 of 2 fail: COM6 cold", "class=\"pass\">&#10004; PASS",
          "<li>COM5: NEO&lt;b&gt;", "COM5 (pmtk, warm start)"})
        EXPECT_NE(page.find(text), std::string::npos) << text;
    EXPECT_LT(page.size(), QFile(kChartJs).size() + 100000);
    browser.start(
        chromium,
        QString("--headless --no-sandbox --disable-gpu --disable-background-networking "
                "--disable-component-update --disable-sync --no-first-run --window-size=1200,2400 "
                "--user-data-dir=%1/profile --screenshot=%1/r.png file://%1/r.html")
            .arg(dir.path())
            .split(' '));
    ASSERT_TRUE(browser.waitForFinished(60000));
    const QImage shot(dir.filePath("r.png"));
    ASSERT_FALSE(shot.isNull());
    // Text and tables are grey or pale; the strong colours are what Chart.js drew: the TTFF and
    // restart lines and the error scatter left, the histogram bars right, the pass limit's
    // dashed red lines (the overview's right, the TTFF charts' left). More than one receiver's
    // charts hold.
    int blue = 0, orange = 0, green = 0, red[2] = {}, purple = 0;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            const QColor c = shot.pixelColor(x, y);
            const bool left = x < shot.width() / 2;
            blue += left && c.blue() > c.red() + 60 && c.blue() > c.green() + 20;
            orange += left && c.red() > c.blue() + 100 && c.green() > 90 && c.green() < 180;
            green += !left && c.green() > c.red() + 60 && c.green() > c.blue() + 60;
            red[left] += c.red() > c.green() + 90 && std::abs(c.green() - c.blue()) < 30;
            purple += c.blue() > c.red() + 25 && c.red() > c.green() + 25;
        }
    }
    EXPECT_TRUE(blue > 5000 && orange > 3200 && green > 80000 && red[0] > 80 && red[1] > 1000 &&
                purple > 1000)
        << blue << " " << orange << " " << green << " " << red[0] << " " << red[1] << " " << purple;
}

}  // namespace
}  // namespace quorvel::lab
