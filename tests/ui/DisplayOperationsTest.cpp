// The display operations change what the window really shows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTextEdit>
#include <functional>

#include "ui/MainWindow.h"

namespace quorvel {
namespace {

class DisplayTest : public ::testing::Test {
  protected:
    template <typename T = QWidget>
    T* control(const char* name) {
        auto* found = window.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QComboBox* ports() { return control<QComboBox>("ComPort_6"); }

    void fillPorts(int count) {
        for (int n = 1; n <= count; ++n) {
            window.AddSelectorEntry(Selector::ComPort_6, "COM " + std::to_string(n));
        }
    }

    MainWindow window;
};

TEST_F(DisplayTest, StatusTextIsKeptByteForByteAndShownWithLineBreaks) {
    const std::string text = "Cold Start OK!\r\nCOM 3  error!\xB0\r\n 30(S)";
    window.SetStatusText(text);
    EXPECT_EQ(window.StatusText(), text);
    EXPECT_EQ(control<QTextEdit>("Text_Error_1")->toPlainText(),
              QStringLiteral("Cold Start OK!\nCOM 3  error!\u00B0\n 30(S)"));
    window.SetStatusText("");
    EXPECT_TRUE(control<QTextEdit>("Text_Error_1")->toPlainText().isEmpty());
}

// The colour each operation sets is the colour really painted, as a person would see it.
TEST_F(DisplayTest, ColoursReallyShow) {
    struct Case {
        const char* control;
        std::function<void(Colour)> set;
        QPoint at;
        int tolerance;  // the style shades a drop-down slightly
        std::vector<Colour> colours;
    };
    const std::vector<Colour> kVerdicts = {Colour::Red, Colour::Green, Colour::ButtonFace};
    const std::vector<Colour> kLocks = {Colour::Grey, Colour::ButtonFace};
    const std::vector<Colour> kSelectors = {Colour::WindowColour, Colour::ButtonFace};
    const Case cases[] = {
        {"Text_Error_1", [this](Colour c) { window.SetStatusColour(c); }, {100, 90}, 0, kVerdicts},
        {"Cmd_Start_1", [this](Colour c) { window.SetStartButtonColour(c); }, {8, 95}, 0, kLocks},
        {"ComPort_6", [this](Colour c) { window.SetSelectorColours(c); }, {20, 13}, 16, kSelectors},
        {"BaudRate_6",
         [this](Colour c) { window.SetSelectorColours(c); },
         {20, 13},
         16,
         kSelectors},
    };
    for (const Case& c : cases) {
        for (Colour colour : c.colours) {
            c.set(colour);
            const QColor shown = control(c.control)->grab().toImage().pixelColor(c.at);
            const QColor want = MainWindow::ToQColor(colour);
            EXPECT_LE(std::abs(shown.red() - want.red()) + std::abs(shown.green() - want.green()) +
                          std::abs(shown.blue() - want.blue()),
                      3 * c.tolerance)
                << c.control << " " << shown.name().toStdString();
        }
    }
}

TEST_F(DisplayTest, Label1ShowsItsCaptionAsPlainText) {
    for (const char* caption : {"Connecting.....", "<b>Can't connect!</b>", ""}) {
        window.SetLabel1(caption);
        EXPECT_EQ(control<QLabel>("Label1")->text(), QString::fromLatin1(caption));
    }
    EXPECT_EQ(control<QLabel>("Label1")->textFormat(), Qt::PlainText);
}

TEST_F(DisplayTest, Frame5DisablesAndEnablesBothSelectorsAndLabels) {
    for (bool enabled : {false, true}) {
        window.SetFrame5Enabled(enabled);
        for (const char* name : {"Frame5", "ComPort_6", "BaudRate_6", "Label2", "Label3"}) {
            EXPECT_EQ(control(name)->isEnabled(), enabled) << name;
        }
        EXPECT_TRUE(control("Cmd_Start_1")->isEnabled());
    }
}

TEST_F(DisplayTest, EntriesAreAppendedAndSelectionTakesOnlyAnExactEntry) {
    fillPorts(12);
    window.AddSelectorEntry(Selector::BaudRate_6, "4800");
    window.AddSelectorEntry(Selector::BaudRate_6, "9600");
    EXPECT_EQ(ports()->count(), 12);
    EXPECT_EQ(ports()->itemText(2), QStringLiteral("COM 3"));
    EXPECT_EQ(window.SelectedPort(), "");  // nothing until asked

    EXPECT_TRUE(window.SelectSelectorEntry(Selector::ComPort_6, "COM 7"));
    EXPECT_TRUE(window.SelectSelectorEntry(Selector::BaudRate_6, "9600"));
    EXPECT_EQ(ports()->currentText(), QStringLiteral("COM 7"));
    EXPECT_EQ(window.SelectedBaud(), "9600");

    for (const char* refused : {"COM 150", "com 7", "COM 7 ", "COM7", "", "9600"}) {
        EXPECT_FALSE(window.SelectSelectorEntry(Selector::ComPort_6, refused)) << refused;
    }
    EXPECT_FALSE(window.SelectSelectorEntry(Selector::BaudRate_6, "38400"));
    window.AddSelectorEntry(Selector::ComPort_6, "COM 13");
    EXPECT_EQ(window.SelectedPort(), "COM 7");
    EXPECT_EQ(window.SelectedBaud(), "9600");
}

TEST_F(DisplayTest, ClicksGoToTheirHandlers) {
    control<QPushButton>("Cmd_Start_1")->click();  // no handler yet: nothing happens
    int starts = 0;
    int exits = 0;
    window.onStartClicked = [&] { ++starts; };
    window.onExitClicked = [&] { ++exits; };
    control<QPushButton>("Cmd_Start_1")->click();
    control<QPushButton>("Com_Exit")->click();
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(exits, 1);
}

TEST(DisplayTimersTest, EachTimerIsSwitchedAndTicksReachTheHandlerWithItsName) {
    MainWindow window(5);
    for (TimerId id : {TimerId::Timer1, TimerId::Timer, TimerId::Timer_Start, TimerId::Timer_PF}) {
        window.SetTimerEnabled(id, true);
        EXPECT_TRUE(window.TimerEnabled(id));
        window.SetTimerEnabled(id, false);
        EXPECT_FALSE(window.TimerEnabled(id));
    }
    std::vector<TimerId> ticks;
    window.onTimerTick = [&ticks](TimerId id) { ticks.push_back(id); };
    window.SetTimerEnabled(TimerId::Timer1, true);
    QElapsedTimer clock;
    clock.start();
    while (ticks.empty() && clock.elapsed() < 5000) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    ASSERT_FALSE(ticks.empty());
    EXPECT_EQ(ticks.front(), TimerId::Timer1);
}

}  // namespace
}  // namespace quorvel
