// The lab's record: journal faults through the real file code, pass/fail from journals, and a
// long run ended on the lab's clock.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <utility>

#include "lab/Lab.h"
#include "lab/command/Options.h"
#include "lab/command/ReportCommand.h"

namespace quorvel::lab {
namespace {

namespace fs = std::filesystem;

const std::string kHeader = std::string(kJournalHeader) + "\n";
// Journals of the older layout are still read.
const std::string kOlder = std::string(kOlderJournalHeader) + "\n";

std::string Slurp(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "";
}

int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

LabOptions Options(const std::string& port, const std::string& journal, double seconds) {
    LabOptions o;
    o.ports = ParseLabOptions({port}).options.ports;
    o.journal = journal;
    o.durationS = seconds;
    o.retry = 0;
    return o;
}

// A lab with `args` and a port that is not there (a cant-connect row every few seconds), its
// name holding an escape character, 1 ms to its second, for 6 cycles, `midway` done after the
// third; `err` gets its stderr and its output.
int RunLab(std::vector<std::string> args, const std::string& journal, std::string& err,
           std::function<void()> midway) {
    std::ostringstream out;
    args.insert(args.end(), {"--cycles", "6", "--retry", "0", "/dev/quorvel-\x1bnone"});
    LabOptions o = ParseLabOptions(args).options;
    o.journal = journal;
    Lab lab(o, out, 1);
    testing::internal::CaptureStderr();
    std::string error;
    const bool begun = lab.Begin(error);
    while (begun && !lab.Ended()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (midway && Count(out.str(), " cycle ") >= 3) std::exchange(midway, {})();
    }
    err = testing::internal::GetCapturedStderr() + error + out.str();
    return begun ? lab.ExitCode() : 1;
}

TEST(LabRecord, JournalFaultsAreNamedAndNoRowIsLost) {
    QTemporaryDir dir;
    const std::string j = dir.filePath("j.csv").toStdString(),
                      fifo = dir.filePath("f").toStdString();
    const std::string rows = kHeader + "t,COM5,1,ok,4.0,12.0,12,0.9,cold,,,,,,,,\n",
                      olderRows = kOlder + "t,COM5,1,ok,4.0,12.0,12,0.9\n";
    struct Case {
        const char* name;
        std::string journal;
        std::function<void()> prepare, midway;
        std::vector<std::string> args;  // "report" and its arguments; else a lab run's options
        int status;
        std::string said;  // on stderr or in a lab's output: its |-separated parts, "!" not said
        std::string contents;     // the journal afterwards, from its start; "" unchecked
        bool fullStdout = false;  // a report's summary goes to /dev/full
    };
    const std::vector<std::string> report = {"report", "-o", dir.filePath("r.html").toStdString(),
                                             j};
    auto put = [&j](const std::string& text) { return [&j, text] { std::ofstream(j) << text; }; };
    const std::string rack1 = dir.filePath("rack1/night.csv").toStdString(),
                      rack2 = dir.filePath("rack2/night.csv").toStdString();
    auto racks = [&] {
        QDir(dir.path()).mkpath("rack1"), QDir(dir.path()).mkpath("rack2");
        std::ofstream(rack1) << rows, std::ofstream(rack2) << rows;
    };
    // Each bad row would move the TTFF figures or the cycles, were it counted.
    const std::string bad =
        kOlder +
        "t,COM5,1,ok,4.0,12.0,12,0.9\nt,COM5,2,ok,4.0,inf,,\n"
        "t,COM5,3,ok,-3,1.0,,\nt,COM5,1e99,ok,4.0,1.0,,\nt,COM5,4,ok,4.0,1" +
        std::string(28, '0') +
        ",,\nt,COM5,5,ok,4.0,1.0,0x10,\nt,COM5,6,banana,4.0,1.0,,\nt,COM5,7,ok,nan,1.0,,\n"
        "t,\"CO\nt,COM5,8,ok,4.0,20.0,12,\"0.\n9\"\n";
    const std::string old = j + ".old", ports = dir.filePath("config/quorvel/ports").toStdString();
    // clang-format off
    // A row as the lab writes it, and what a run writes after it when it resumes the journal.
    const std::string utc = "2026-12-07T04:30:00.123Z,",
                      row = utc + "\"COM,5\",1,ok,4.0,12.0,12,0.9,cold,pxemsrt,u-blox,NEO,1.0,1.5,40.2,"
                                  "\"any fix within 100 m of 52.000000,13.000000\",\n";
    auto resumed = [&](const std::string& before, const Row& next) {
        return [&, before, next] {
            put(before)();
            Journal journal;
            std::string error;
            EXPECT_TRUE(journal.Open(j, error)) << error;
            journal.Write(next);
        };
    };
    const Row second{utc.substr(0, 24), "COM,5", 2, Verdict::Ok, 4.0, 12.0, 12, "0.9", "cold", "pxemsrt"};
    // Each cut a kill can leave, each line ended by the run after it; but for one just past the
    // last field's comma, which is a row whose last field is empty.
    const std::size_t lastComma = row.rfind(",\"any");
    std::string cuts = kHeader;
    for (std::size_t n = 1; n < row.size() - 1; ++n)
        if (n != lastComma + 1) cuts += row.substr(0, n) + "\n";
    // Texts a receiver might say that a spreadsheet would run as formulas.
    const Row formulas{utc.substr(0, 24), "COM5", 1, Verdict::Ok, 4.0, 12.0, 12, "-1", "cold", "pxemsrt",
                       "\t=HYPERLINK(\"http://x\",\"y\")", "@SUM(1+1)", "'+x"};
    const Case cases[] = {
        {"full", "/dev/full", [] {}, {}, {"--pass-ttff", "10"}, 1, "/dev/full: No space left on device|Journal: /dev/full is missing|FAIL", ""},
        {"bad header", j, put("hello\n"), {}, {}, 1, "header", "hello\n"},
        {"FIFO without reader", fifo, [&] { ::mkfifo(fifo.c_str(), 0600); }, {}, {}, 1, "no reader", ""},
        {"removed", j, put(rows), [&] { ::unlink(j.c_str()); }, {}, 0, "was removed|-\\x1bnone cycle", rows},
        {"copied and truncated", j, put(rows), [&] { fs::copy(j, old); fs::resize_file(j, 0); }, {}, 0, "truncated", kHeader},
        {"moved and made anew", j, put(rows), [&] { fs::rename(j, old); put(kHeader)(); }, {}, 0, "replaced", kHeader},
        {"lab's report nowhere", j, put(rows), {}, {"--report", "/nonexistent/r.html"}, 1, "r.html: No such file|!connecting", rows},
        {"older columns", j, put(olderRows), {}, {}, 1, "older quorvel-lab", olderRows},
        {"cut last line", j, put(olderRows + "t,COM5,2,o"), {}, report, 0, "line 3: cut short|\nCOM5 ", ""},
        {"impossible values", j, put(bad), {}, {"report", "--pass-ttff=10", "-o", dir.filePath("r.html").toStdString(), j}, 1,
         "line 3: ttff_s 'inf'|line 4: restart_s '-3'|line 5: cycle '1e99'|line 6: ttff_s '1000|line 7: satellites '0x10'|"
         "line 8: verdict 'banana'|line 9: restart_s 'nan'|line 10: not a row|12.0 / 16.0 / 20.0 / 20.0|FAIL 0.0 % (0/2)", ""},
        {"a kill's cut row, then a resumed run", j, resumed(kHeader + row + row.substr(0, 60), second), {}, report, 0,
         "line 3: cut short|!refused|cold   2       2 ", kHeader + row + row.substr(0, 60) + "\n" + FormatRow(second) + "\n"},
        {"every cut a kill can leave", j, put(cuts + row), {}, report, 0,
         "line 2: cut short|line " + std::to_string(row.size() - 2) + ": cut short|!refused|cold   1       1 ", ""},
        {"damage amid rows is no cut", j, put(kHeader + row + "hello\n" + utc + "COM5,x1\n" + utc + "COM5,1,banana,4\n2026-12-07T04:30,COM5\n" + row), {}, report, 1,
         "line 3: not a row|line 4: not a row|line 5: not a row|line 6: not a row|!cut short", ""},
        {"receiver texts that look like formulas", j, resumed("", formulas), {}, report, 0,
         "\nCOM5: =HYPERLINK(\"http://x\",\"y\") @SUM(1+1), firmware '+x\n",
         kHeader + utc + "COM5,1,ok,4.0,12.0,12,'-1,cold,pxemsrt,\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\",'@SUM(1+1),''+x,,,,\n"},
        {"CR LF and BOM", j, put("\xEF\xBB\xBF" + std::string(kJournalHeader) + "\r\nt,COM5,1,ok,4.0,12.0,12,0.9,cold,,,,,,,,\r\n"), {}, report, 0, "\nCOM5 ", ""},
        {"header only", j, put(kHeader), {}, report, 1, "j.csv holds no row", ""},
        {"one journal twice", j, put(rows), {}, {"report", "-o", dir.filePath("r.html").toStdString(), j, dir.filePath("./j.csv").toStdString()}, 0, "counted once|\nCOM5 ", ""},
        {"same-named journals", j, racks, {}, {"report", "-o", dir.filePath("r.html").toStdString(), rack1, rack2}, 0, "\nrack1/night.csv: COM5 |\nrack2/night.csv: COM5 ", ""},
        {"summary to a full stdout", j, put(rows), {}, report, 1, "summary to standard output: No space left on device", "", true},
        {"report of a bad header", j, put("hello\n"), {}, report, 1, "header", ""},
        {"report nowhere", j, put(rows), {}, {"report", "-o", "/nonexistent/r.html", j}, 1, "r.html: No such file", ""},
        {"a link made under the run", j, [&] { fs::create_directories(ports); qputenv("XDG_CONFIG_HOME", dir.filePath("config").toLocal8Bit()); },
         [&] { fs::create_symlink("/dev/quorvel-linked", ports + "/com49"); }, {"COM49"}, 0, "cant-connect: /dev/quorvel-linked: No such file", ""},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ::unlink(j.c_str());
        ::unlink(old.c_str());
        if (c.prepare) c.prepare();
        std::string err;
        int status = 0;
        const bool reportCommand = !c.args.empty() && c.args[0] == "report";
        if (!reportCommand) {
            status = RunLab(c.args, c.journal, err, c.midway);
        } else {
            QProcess lab;
            if (c.fullStdout) lab.setStandardOutputFile("/dev/full");
            QStringList args;
            for (const std::string& arg : c.args) args << QString::fromStdString(arg);
            lab.start(QString(QUORVEL_BINARY_DIR) + "/src/lab/quorvel-lab", args);
            EXPECT_TRUE(lab.waitForFinished(10000));
            status = lab.exitCode();
            err = (lab.readAllStandardError() + lab.readAllStandardOutput()).toStdString();
        }
        EXPECT_EQ(status, c.status);
        std::stringstream said(c.said);
        for (std::string part; std::getline(said, part, '|');)
            EXPECT_EQ(err.find(part.substr(part[0] == '!')) == std::string::npos, part[0] == '!')
                << part << " in " << err;
        if (!c.contents.empty()) {
            const std::string after = Slurp(c.journal);
            EXPECT_EQ(after.substr(0, c.contents.size()), c.contents);
            // Every row the run printed is in the journal (or the file it was moved to), those
            // before the removal included.
            if (c.midway) {
                EXPECT_GT(Count(err, " cycle "), 3);
                EXPECT_EQ(Count(after + Slurp(old), ",/dev/quorvel-none,"), Count(err, " cycle "));
            }
        }
    }
}

TEST(LabRecord, EachReceiverPassesOrFailsOnItsJudgedCycles) {
    QTemporaryDir dir;
    const std::string j = dir.filePath("j.csv").toStdString();
    struct Case {
        std::vector<std::string> rows;  // verdict,ttff
        std::vector<std::string> options;
        std::string standing;  // "" when there is no pass column
        int status;
    };
    std::vector<std::string> nineteenOfTwenty(19, "ok,9.9");
    nineteenOfTwenty.push_back("ok,10.1");
    std::vector<std::string> justUnder(1899, "ok,9"), justOver(justUnder);
    justUnder.resize(1999, "ok,11"), justOver.resize(2000, "ok,11");
    // clang-format off
    const Case cases[] = {
        {{"ok,10.0", "ok,3.0"}, {"--pass-ttff", "10"}, "PASS 100.0 % (2/2)", 0},
        {nineteenOfTwenty, {"--pass-ttff", "10"}, "PASS 95.0 % (19/20)", 0},
        {nineteenOfTwenty, {"--pass-ttff", "10", "--pass-rate", "96"}, "FAIL 95.0 % (19/20)", 3},
        {{"ok,9", "ok,", "no-respond,", "ended,"}, {"--pass-ttff=10", "--pass-rate=30"}, "PASS 33.3 % (1/3)", 0},
        {{"ended,", "ended,"}, {"--pass-ttff", "10"}, "FAIL no judged cycle", 3},
        {justUnder, {"--pass-ttff", "10"}, "FAIL 94.9 % (1899/1999)", 3},
        {justOver, {"--pass-ttff", "10", "--pass-rate", "94.95"}, "PASS 94.95 % (1899/2000)", 0},
        {{"ok,50", "no-respond,"}, {}, "", 0},
        // Decided as it goes: a flawless receiver passes at its 171st start, not before (the
        // first good start's risk is halved, the k-th one's 1/(k(k+1)) of it); two bad starts
        // in a row fail one at once. 0.05^(1/171) = 0.983, 1 - 0.05^(1/2) = 0.776.
        {std::vector<std::string>(171, "ok,9"), {"--pass-ttff", "10", "--confidence", "95"}, "PASS at 171: 100.0 % [98.3, 100.0] (171 good, 0 bad)", 0},
        {std::vector<std::string>(170, "ok,9"), {"--pass-ttff", "10", "--confidence", "95"}, "UNDECIDED: 100.0 % [98.3, 100.0] (170 good, 0 bad)", 4},
        {{"no-respond,", "ok,11", "ok,9"}, {"--pass-ttff", "10", "--confidence", "95"}, "FAIL at 2: 33.3 % [1.7, 86.5] (1 good, 2 bad)", 3},
        {{"ok,9"}, {"--pass-ttff", "10", "--bad-factor", "2"}, "", 2},
        {{"ok,9"}, {"--confidence", "95"}, "", 2},
    };
    // clang-format on
    for (const Case& c : cases) {
        std::ofstream journal(j);
        journal << kOlder;
        for (std::size_t i = 0; i < c.rows.size(); ++i) {
            const auto comma = c.rows[i].find(',');
            journal << "t,COM5," << i + 1 << "," << c.rows[i].substr(0, comma) << ",4.0,"
                    << c.rows[i].substr(comma + 1) << ",,\n";
        }
        journal.close();
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {"-o", dir.filePath("r.html").toStdString(), j});
        std::ostringstream out;
        EXPECT_EQ(RunReportCommand(args, out), c.status) << out.str();
        const std::string summary = out.str();
        const std::string lastCell = summary.substr(0, summary.find("\nReport"));
        if (c.standing.empty()) {
            EXPECT_EQ(summary.find("pass"), std::string::npos) << summary;
        } else {
            EXPECT_EQ(lastCell.substr(lastCell.size() - c.standing.size()), c.standing) << summary;
        }
        EXPECT_NE(Slurp(dir.filePath("r.html").toStdString()).find(c.standing), std::string::npos);
    }
}

// A simulated receiver whose fix never comes, on a lab whose second is its burst period: the
// end of the run cuts its cycle after the restart. Judged when its fix was already due.
TEST(LabRecord, ACycleTheEndCutsIsJudgedOnlyWhenItsFixWasDue) {
    for (const auto& [dueS, verdict] : {std::pair(100.0, "ended"), std::pair(3.0, "ok")}) {
        QProcess sim;
        sim.start(QString(QUORVEL_BINARY_DIR) + "/tools/quorvel-sim",
                  {"--rate-ms", "100", "--ttff", "500"});
        ASSERT_TRUE(sim.waitForReadyRead(5000));
        QTemporaryDir dir;
        const std::string pty = QString(sim.readLine()).section(' ', 1, 1).trimmed().toStdString();
        LabOptions o = Options(pty, dir.filePath("j.csv").toStdString(), 12);
        o.pass.ttffS = dueS;
        std::ostringstream out;
        Lab lab(o, out, 100);
        std::string error;
        ASSERT_TRUE(lab.Begin(error)) << error;
        while (!lab.Ended()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const std::string journal = Slurp(o.journal);
        // Its restart came (how many seconds depends on the machine's load).
        const auto at = journal.find(",1," + std::string(verdict) + ",");
        ASSERT_NE(at, std::string::npos) << journal;
        EXPECT_TRUE(std::isdigit(journal[at + 4 + std::strlen(verdict)])) << journal;
        sim.terminate();
        sim.waitForFinished(5000);
    }
}

// A receiver decided is ordered nothing more, and a run whose receivers are all decided ends:
// at 50 % and 60 % confidence two good starts pass one (the second good start may spend a
// sixth of the 40 % risk, 6.7 %, and two good starts of a receiver 1.5 times worse come
// 6.25 % of the time).
TEST(LabRecord, ARunUntilDecidedEndsWhenEveryReceiverIs) {
    QProcess sim;
    sim.start(QString(QUORVEL_BINARY_DIR) + "/tools/quorvel-sim",
              {"--rate-ms", "100", "--ttff", "2", "--family", "ubx"});
    ASSERT_TRUE(sim.waitForReadyRead(5000));
    QTemporaryDir dir;
    const std::string pty = QString(sim.readLine()).section(' ', 1, 1).trimmed().toStdString();
    LabOptions o = Options("ubx:" + pty, dir.filePath("j.csv").toStdString(), 600);
    o.interval = 1;
    o.pass = {.ttffS = 60, .ratePct = 50, .confidencePct = 60};
    o.untilDecided = true;
    std::ostringstream out;
    Lab lab(o, out, 100);
    std::string error;
    ASSERT_TRUE(lab.Begin(error)) << error;
    while (!lab.Ended()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    EXPECT_NE(out.str().find("decided: no further order"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("PASS at 2: 100.0 %"), std::string::npos) << out.str();
    EXPECT_EQ(lab.ExitCode(), 0);
    const std::string journal = Slurp(o.journal);
    EXPECT_EQ(std::count(journal.begin(), journal.end(), '\n'), 3) << journal;
    sim.terminate();
    sim.waitForFinished(5000);
}

TEST(LabRecord, AYearLongRunEndsOnTheLabsClock) {
    QTemporaryDir dir;
    double now = 0;
    LabOptions o = Options("/dev/quorvel-none", dir.filePath("j.csv").toStdString(), 365.0 * 86400);
    o.report = dir.filePath("r.html").toStdString();
    std::ostringstream out;
    Lab lab(o, out, 1, [&now] { return now; });
    std::string error;
    ASSERT_TRUE(lab.Begin(error)) << error;
    auto ticks = [&lab](int n) {
        for (int i = 0; i < n && !lab.Ended(); ++i)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    };
    now = *o.durationS - 1;
    // The report is rewritten each minute while the run goes on.
    for (int i = 0; i < 1000 && !QFile::exists(QString::fromStdString(o.report)); ++i) ticks(1);
    EXPECT_TRUE(QFile::exists(QString::fromStdString(o.report)));
    EXPECT_FALSE(lab.Ended());
    now = *o.durationS;
    ticks(20);
    EXPECT_TRUE(lab.Ended());
}

}  // namespace
}  // namespace quorvel::lab
