// The HTML report as a reader meets it: what comes first, what a receiver without a TTFF shows,
// and whether a wide page fits a 1280-pixel screen in a real browser.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <fstream>
#include <sstream>

#include "lab/Lab.h"
#include "lab/command/Options.h"
#include "lab/command/ReportCommand.h"

namespace quorvel::lab {
namespace {

std::string Slurp(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "";
}

// `times` journal rows of `receiver`, each "verdict,restart_s,ttff_s".
std::string Rows(const std::string& receiver, const std::string& row, int times) {
    std::string rows;
    for (int i = 1; i <= times; ++i)
        rows += "t," + receiver + "," + std::to_string(i) + "," + row + ",,\n";
    return rows;
}

// The report the `report` command makes of `rows` with `options`.
std::string ReportOf(const QTemporaryDir& dir, const std::string& rows,
                     std::vector<std::string> options) {
    const std::string journal = dir.filePath("j.csv").toStdString();
    std::ofstream(journal) << kOlderJournalHeader << "\n" << rows;
    options.insert(options.end(), {"-o", dir.filePath("r.html").toStdString(), journal});
    std::ostringstream out;
    RunReportCommand(options, out);
    return Slurp(dir.filePath("r.html"));
}

// The receivers in the order `before` each of them first shows in `page`, after `from`.
std::string OrderOf(const std::string& page, const std::string& before, const std::string& from,
                    const std::string& names) {
    std::vector<std::pair<std::size_t, char>> seen;
    for (char name : names)
        seen.emplace_back(page.find(before + name, page.find(from)), name);
    std::sort(seen.begin(), seen.end());
    std::string order;
    for (const auto& [at, name] : seen) order += at == std::string::npos ? '-' : name;
    return order;
}

TEST(LabReport, FailingReceiversComeFirst) {
    QTemporaryDir dir;
    const std::vector<std::string> pass = {"--pass-ttff", "10"},
                                   decide = {"--pass-ttff", "10", "--pass-rate", "50",
                                             "--confidence", "60"};
    struct Case {
        std::string rows;
        std::vector<std::string> options;
        std::string order;  // of the summary's rows and of the receivers' sections
    } const cases[] = {
        {Rows("P", "ok,4,5", 3) + Rows("F", "ok,4,30", 3) + Rows("Q", "ok,4,5", 3) +
             Rows("G", "cant-connect,,", 2),
         pass, "FGPQ"},
        {Rows("P", "ok,4,5", 2) + Rows("U", "ok,4,5", 1) + Rows("F", "no-respond,,", 8), decide,
         "FUP"},
        // Without a pass rule nothing fails: the journal's order.
        {Rows("B", "ok,4,30", 1) + Rows("A", "ok,4,5", 1), {}, "BA"},
    };
    for (const Case& c : cases) {
        const std::string page = ReportOf(dir, c.rows, c.options);
        std::string names = c.order;
        std::sort(names.begin(), names.end());
        EXPECT_EQ(OrderOf(page, "<tr><td>", "class=\"summary\"", names), c.order) << c.rows;
        EXPECT_EQ(OrderOf(page, "<h2>", "class=\"summary\"", names), c.order) << c.rows;
    }
}

// A receiver with no TTFF gets one line saying why, counted over its tries, and only the
// charts it has something for.
TEST(LabReport, AReceiverWithoutATtffSaysWhyInsteadOfEmptyCharts) {
    QTemporaryDir dir;
    struct Case {
        std::string rows;
        std::string line;      // "" when none is due
        std::string canvases;  // the section's charts
    } const cases[] = {
        {Rows("X", "cant-connect,,", 5),
         "No TTFF to chart: 5 of 5 tries cant-connect: the port could not be opened, or sent nothing",
         ""},
        {Rows("X", "no-respond,,", 3) + Rows("X", "cant-connect,,", 2),
         "No TTFF to chart: 3 of 5 tries no-respond: no sign of a restart after its order; 2 of 5 "
         "tries cant-connect: the port could not be opened",
         ""},
        {Rows("X", "no-fix,4,", 2), "2 of 2 tries no-fix: no fix within the fix limit", "ttff"},
        {Rows("X", "ok,4,5", 2) + "t,X,3,no-respond,,,,\n", "", "ttff hist"},
    };
    for (const Case& c : cases) {
        const std::string page = ReportOf(dir, c.rows, {"--pass-ttff", "10"});
        const auto section = page.find("<h2>X");
        const std::string text = page.substr(section, page.find("</div>", section) - section);
        EXPECT_NE(text.find(c.line.empty() ? "<div" : c.line), std::string::npos) << text;
        EXPECT_EQ(c.line.empty(), text.find("No TTFF") == std::string::npos) << text;
        std::string canvases;
        for (auto at = text.find("<canvas id=\""); at != std::string::npos;
             at = text.find("<canvas id=\"", at + 1))
            canvases += (canvases.empty() ? "" : " ") + text.substr(at + 12, 4);
        EXPECT_EQ(canvases, c.canvases) << text;
    }
    // In a run, the reason is the system's, from the lab's last trouble with the port.
    LabOptions o = ParseLabOptions({"--cycles", "3", "--retry", "0", "--report",
                                    dir.filePath("run.html").toStdString(), "/dev/quorvel-none"})
                       .options;
    o.journal = dir.filePath("run.csv").toStdString();
    std::ostringstream out;
    Lab lab(o, out, 1);
    std::string error;
    ASSERT_TRUE(lab.Begin(error)) << error;
    while (!lab.Ended()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    EXPECT_NE(Slurp(dir.filePath("run.html"))
                  .find("3 of 3 tries cant-connect: /dev/quorvel-none: No such file or directory"),
              std::string::npos)
        << Slurp(dir.filePath("run.html"));
}

// Long names, a receiver's long identity, decisions at a confidence, many starts: the page
// still fits a 1280-pixel screen without a sideways scroll bar.
TEST(LabReport, AWideReportFitsA1280PixelScreen) {
    const QString chromium = QStandardPaths::findExecutable("chromium");
    if (chromium.isEmpty()) GTEST_SKIP() << "needs chromium (scripts/setup.sh installs it)";
    QTemporaryDir dir;
    const std::string byId = "/dev/serial/by-id/usb-Silicon_Labs_CP2102N_USB_to_UART_Bridge_"
                             "Controller_3c8a1b2e4f5dea11a0c2d5e3f7a9b1c4-if00-port0";
    std::ofstream journal(dir.filePath("w.csv").toStdString());
    journal << kJournalHeader << "\n";
    int cycle = 0;
    for (const char* start : {"hot", "warm", "cold", "factory"})
        for (int i = 0; i < 9; ++i)
            journal << "t," << byId << "," << ++cycle << ",ok,1.2," << 8 + i << ".5,12,0.9," << start
                    << ",ubx,u-blox AG www.u-blox.com,NEO-M8N-0-10_ROM_CORE_3.01_(107888)_FWVER="
                       "SPG_3.01_PROTVER=18.00,EXT_CORE_3.01_(111141)_GPS;GLO;GAL;BDS;QZSS;SBAS,"
                    << i * 1.5 << ",3" << i << ".0,3d fix within 100 m of the reference,0.5\n";
    for (int i = 1; i <= 5; ++i)
        journal << "t,tcp://gnss-rack-42.lab.example.com:4001/a-receiver-name-without-a-break," << i
                << "," << (i % 2 ? "no-respond,," : "ok,2.0,70.0") << ",,,cold,ubx,,,,,,,\n"
                << "t,COM9," << i << ",cant-connect,,,,,cold,mtk,,,,,,,\n";
    journal.close();
    QProcess report;
    report.start(QString(QUORVEL_BINARY_DIR) + "/src/lab/quorvel-lab",
                 {"report", "--pass-ttff", "20", "--confidence", "95", dir.filePath("w.csv")});
    ASSERT_TRUE(report.waitForFinished(60000));
    EXPECT_EQ(report.exitCode(), 3) << report.readAllStandardError().toStdString();
    // The page measures itself once laid out; the browser's DOM carries the widths out.
    QFile page(dir.filePath("w.html"));
    ASSERT_TRUE(page.open(QIODevice::Append));
    page.write("<script>document.body.dataset.widths = document.documentElement.scrollWidth + "
               "'/' + document.documentElement.clientWidth;</script>\n");
    page.close();
    QProcess browser;
    browser.start(chromium, QString("--headless --no-sandbox --disable-gpu "
                                    "--disable-background-networking --disable-component-update "
                                    "--disable-sync --no-first-run --window-size=1280,900 "
                                    "--user-data-dir=%1/profile --dump-dom file://%1/w.html")
                                .arg(dir.path())
                                .split(' '));
    ASSERT_TRUE(browser.waitForFinished(60000));
    const auto widths = QRegularExpression("data-widths=\"(\\d+)/(\\d+)\"")
                            .match(QString(browser.readAllStandardOutput()));
    ASSERT_TRUE(widths.hasMatch()) << browser.readAllStandardError().toStdString();
    EXPECT_GT(widths.captured(2).toInt(), 1200);
    EXPECT_LE(widths.captured(1).toInt(), widths.captured(2).toInt()) << "scrolls sideways";
}

}  // namespace
}  // namespace quorvel::lab
