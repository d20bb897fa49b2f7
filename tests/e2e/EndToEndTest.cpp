// The real program (window, serial adapter, timers at 50 ms) against quorvel-sim on a pty
// linked as COM 9, one row per receiver behaviour.
#include <gtest/gtest.h>

#include <QProcess>

#include "support/WindowFront.h"

namespace quorvel::testing {
namespace {

struct Rig {
    void Start(QStringList simArgs) {
        sim.setProgram(QUORVEL_SIM_EXE);
        sim.setArguments(QStringList{"--com", "9", "--ports-dir", dir.path(), "--rate-ms", "50"} + simArgs);
        QObject::connect(&sim, &QProcess::readyReadStandardOutput, [this] { simOut += sim.readAllStandardOutput(); });
        sim.start();
        ASSERT_TRUE(WaitFor([&] { return simOut.contains("COM 9 is"); })) << simOut.toStdString();
        ProgramParts parts{.timerIntervalMs = 50, .portsFolder = dir.path().toStdString(), .settings = &settings,
                           .messages = &messages};
        program = std::make_unique<Program>(parts);
        program->Form_Load();
        auto& w = program->Window();
        ASSERT_TRUE(w.SelectSelectorEntry(Selector::ComPort_6, "COM 9"));
        QObject::connect(w.findChild<QTextEdit*>("Text_Error_1"), &QTextEdit::textChanged,
                         [&] { seen.push_back(w.StatusText()); });
        w.findChild<QPushButton*>("Cmd_Start_1")->click();
    }
    bool Saw(const std::string& text) { return std::count(seen.begin(), seen.end(), text) > 0; }
    std::string Label() { return program->Window().findChild<QLabel*>("Label1")->text().toStdString(); }

    QTemporaryDir dir;
    QProcess sim;
    QByteArray simOut;
    FakeSettings settings;
    RecordingMessages messages;
    std::unique_ptr<Program> program;
    std::vector<std::string> seen;
};

TEST(EndToEnd, EachReceiverGetsItsVerdict) {
    const std::string kOk = "Cold Start OK!\r\nPlease stop the program then shut down the GPS now!\r\nIt will Cold Start again! 30(S)";
    const std::pair<QStringList, std::function<bool(Rig&)>> rows[] = {
        {{}, [&](Rig& t) { return t.simOut.count("rx \"$PXEMSRT,C*3A\\r\\n\"") >= 2 && t.Saw(kOk); }},
        {{"--never-restart"}, [](Rig& t) { return t.Saw(kNoRespond) && t.Label() == "Connected!"; }},
        {{"--wrong-baud"}, [](Rig& t) { return t.Saw("Baud Rate not match!"); }},
        {{"--silent"}, [](Rig& t) { return t.Label() == "Can't connect!"; }},
    };
    for (const auto& [args, verdict] : rows) {
        SCOPED_TRACE(args.join(" ").toStdString());
        Rig t;
        t.Start(args);
        EXPECT_TRUE(WaitFor([&] { return verdict(t); })) << t.simOut.toStdString();
        EXPECT_EQ(t.settings.lines, std::vector<std::string>{"COM 9,9600"});
        t.program->Window().findChild<QPushButton*>("Cmd_Start_1")->click();
        EXPECT_FALSE(t.program->Port().IsOpen());
        t.sim.terminate();
        t.sim.waitForFinished();
    }
}

}  // namespace
}  // namespace quorvel::testing
