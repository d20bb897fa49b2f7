// The display operations change what the window really shows.
#include <gtest/gtest.h>

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>
#include <QTimer>
#include <thread>

#include "ui/MainWindow.h"

namespace quorvel {
namespace {

class DisplayTest : public ::testing::Test {
  protected:
    template <typename T>
    T* control(const char* name) {
        auto* found = window.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QTextEdit* status() { return control<QTextEdit>("Text_Error_1"); }
    QPushButton* start() { return control<QPushButton>("Cmd_Start_1"); }
    QComboBox* ports() { return control<QComboBox>("ComPort_6"); }
    QComboBox* bauds() { return control<QComboBox>("BaudRate_6"); }

    void fillPorts(int count) {
        for (int n = 1; n <= count; ++n) {
            window.AddSelectorEntry(Selector::ComPort_6, "COM " + std::to_string(n));
        }
    }

    MainWindow window;
};

// The colour a widget really paints at a point, as a person would see it.
QColor PaintedAt(QWidget* widget, QPoint point) {
    return widget->grab().toImage().pixelColor(point);
}

bool Near(const QColor& a, const QColor& b, int tolerance) {
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

TEST_F(DisplayTest, StatusTextIsKeptAsSetAndShownWithLineBreaks) {
    const std::string text =
        "Cold Start OK!\r\nPlease stop the program then shut down the GPS now!\r\n 30(S)";
    window.SetStatusText(text);
    EXPECT_EQ(window.StatusText(), text);
    EXPECT_EQ(status()->toPlainText(),
              QStringLiteral("Cold Start OK!\nPlease stop the program then shut down the GPS "
                             "now!\n 30(S)"));
    EXPECT_EQ(status()->document()->blockCount(), 3);

    window.SetStatusText("");
    EXPECT_EQ(window.StatusText(), "");
    EXPECT_TRUE(status()->toPlainText().isEmpty());
}

TEST_F(DisplayTest, StatusTextIsLatin1ByteForByte) {
    const std::string text = "COM 3  error!\xB0\xE9";
    window.SetStatusText(text);
    EXPECT_EQ(window.StatusText(), text);
    EXPECT_EQ(status()->toPlainText(), QStringLiteral("COM 3  error!\u00B0\u00E9"));
}

TEST_F(DisplayTest, LongStatusWrapsAtTheBoxWidthAndShowsItsFirstLine) {
    window.show();
    window.SetStatusText(
        "Cold Start OK!\r\nPlease stop the program then shut down the GPS now!\r\n 30(S)");
    status()->grab();  // lays the text out at the box's width
    const QTextBlock second = status()->document()->findBlockByNumber(1);
    ASSERT_NE(second.layout(), nullptr);
    EXPECT_GT(second.layout()->lineCount(), 1);
    EXPECT_EQ(status()->verticalScrollBar()->value(), 0);
}

TEST_F(DisplayTest, TypingInTheStatusBoxChangesNothing) {
    window.SetStatusText("UTC Time :12:00:01");
    QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
    QApplication::sendEvent(status(), &press);
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    QApplication::sendEvent(status(), &del);
    EXPECT_EQ(status()->toPlainText(), QStringLiteral("UTC Time :12:00:01"));
    window.SetStatusReadOnly();
    EXPECT_TRUE(status()->isReadOnly());
    EXPECT_TRUE(status()->focusPolicy() & Qt::ClickFocus);
}

TEST_F(DisplayTest, StatusColourReallyShows) {
    for (Colour colour : {Colour::Red, Colour::Green, Colour::ButtonFace}) {
        window.SetStatusColour(colour);
        const QColor shown = PaintedAt(status(), {100, 90});
        EXPECT_EQ(shown, MainWindow::ToQColor(colour)) << shown.name().toStdString();
    }
}

TEST_F(DisplayTest, StartButtonColourReallyShows) {
    for (Colour colour : {Colour::Grey, Colour::ButtonFace, Colour::Grey}) {
        window.SetStartButtonColour(colour);
        const QColor shown = PaintedAt(start(), {8, 95});
        EXPECT_EQ(shown, MainWindow::ToQColor(colour)) << shown.name().toStdString();
    }
}

TEST_F(DisplayTest, SelectorColoursShowOnBothSelectors) {
    // The style shades a drop-down slightly, so the painted colour is compared loosely.
    for (Colour colour : {Colour::ButtonFace, Colour::WindowColour, Colour::ButtonFace}) {
        window.SetSelectorColours(colour);
        for (QComboBox* box : {ports(), bauds()}) {
            const QColor shown = PaintedAt(box, {20, 13});
            EXPECT_TRUE(Near(shown, MainWindow::ToQColor(colour), 16))
                << box->objectName().toStdString() << " " << shown.name().toStdString();
        }
    }
}

TEST_F(DisplayTest, Label1ShowsItsCaption) {
    for (const char* caption : {"Not connected!", "Connecting.....", "Connected!", ""}) {
        window.SetLabel1(caption);
        EXPECT_EQ(control<QLabel>("Label1")->text(), QString::fromLatin1(caption));
    }
    window.SetLabel1("<b>Can't connect!</b>");
    EXPECT_EQ(control<QLabel>("Label1")->textFormat(), Qt::PlainText);
}

TEST_F(DisplayTest, Frame5DisablesAndEnablesBothSelectorsAndLabels) {
    window.SetFrame5Enabled(false);
    for (const char* name : {"Frame5", "ComPort_6", "BaudRate_6", "Label2", "Label3"}) {
        EXPECT_FALSE(control<QWidget>(name)->isEnabled()) << name;
    }
    EXPECT_TRUE(start()->isEnabled());
    window.SetFrame5Enabled(true);
    for (const char* name : {"Frame5", "ComPort_6", "BaudRate_6", "Label2", "Label3"}) {
        EXPECT_TRUE(control<QWidget>(name)->isEnabled()) << name;
    }
}

TEST_F(DisplayTest, EntriesAreAppendedAndNothingIsSelectedUntilAsked) {
    fillPorts(3);
    for (const char* baud : {"1200", "2400", "9600"}) {
        window.AddSelectorEntry(Selector::BaudRate_6, baud);
    }
    EXPECT_EQ(ports()->count(), 3);
    EXPECT_EQ(ports()->itemText(2), QStringLiteral("COM 3"));
    EXPECT_EQ(bauds()->count(), 3);
    EXPECT_EQ(window.SelectedPort(), "");
    EXPECT_EQ(window.SelectedBaud(), "");
}

TEST_F(DisplayTest, SelectionTakesOnlyAnExactEntry) {
    fillPorts(12);
    window.AddSelectorEntry(Selector::BaudRate_6, "4800");
    window.AddSelectorEntry(Selector::BaudRate_6, "9600");

    EXPECT_TRUE(window.SelectSelectorEntry(Selector::ComPort_6, "COM 7"));
    EXPECT_TRUE(window.SelectSelectorEntry(Selector::BaudRate_6, "9600"));
    EXPECT_EQ(window.SelectedPort(), "COM 7");
    EXPECT_EQ(window.SelectedBaud(), "9600");
    EXPECT_EQ(ports()->currentText(), QStringLiteral("COM 7"));

    for (const char* refused : {"COM 150", "com 7", "COM 7 ", "COM7", "", "9600"}) {
        EXPECT_FALSE(window.SelectSelectorEntry(Selector::ComPort_6, refused)) << refused;
        EXPECT_EQ(window.SelectedPort(), "COM 7");
    }
    EXPECT_FALSE(window.SelectSelectorEntry(Selector::BaudRate_6, "38400"));
    EXPECT_EQ(window.SelectedBaud(), "9600");
    // Adding entries later keeps the selection.
    window.AddSelectorEntry(Selector::ComPort_6, "COM 13");
    EXPECT_EQ(window.SelectedPort(), "COM 7");
}

TEST_F(DisplayTest, PortToolTipsAreRefreshedWhenTheListOpens) {
    fillPorts(3);
    window.show();
    int generation = 1;
    window.portToolTip = [&generation](const QString& entry) {
        return entry + QStringLiteral(" #") + QString::number(generation);
    };
    for (; generation <= 2; ++generation) {
        ports()->showPopup();
        ports()->hidePopup();
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(ports()->itemData(i, Qt::ToolTipRole).toString(),
                      QStringLiteral("COM %1 #%2").arg(i + 1).arg(generation));
        }
    }
    EXPECT_FALSE(bauds()->itemData(0, Qt::ToolTipRole).isValid());
}

TEST_F(DisplayTest, ClicksGoToTheirHandlers) {
    start()->click();  // no handler yet: nothing happens
    int starts = 0;
    int exits = 0;
    window.onStartClicked = [&] { ++starts; };
    window.onExitClicked = [&] { ++exits; };
    start()->click();
    start()->click();
    control<QPushButton>("Com_Exit")->click();
    EXPECT_EQ(starts, 2);
    EXPECT_EQ(exits, 1);
}

TEST(DisplayTimersTest, EnablingAndDisablingEachTimer) {
    MainWindow window;
    for (TimerId id : {TimerId::Timer1, TimerId::Timer, TimerId::Timer_Start, TimerId::Timer_PF}) {
        window.SetTimerEnabled(id, true);
        EXPECT_TRUE(window.TimerEnabled(id));
        window.SetTimerEnabled(id, false);
        EXPECT_FALSE(window.TimerEnabled(id));
        window.SetTimerEnabled(id, false);
        EXPECT_FALSE(window.TimerEnabled(id));
    }
}

TEST(DisplayTimersTest, EnablingARunningTimerKeepsItsRhythm) {
    MainWindow window(10000);
    auto* timer = window.findChild<QTimer*>(QStringLiteral("Timer_Start"));
    timer->setTimerType(Qt::PreciseTimer);
    window.SetTimerEnabled(TimerId::Timer_Start, true);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    window.SetTimerEnabled(TimerId::Timer_Start, true);
    EXPECT_TRUE(timer->isActive());
    EXPECT_LE(timer->remainingTime(), 9950);
}

TEST(DisplayTimersTest, TicksReachTheHandlerWithTheTimersName) {
    MainWindow window(5);
    std::vector<TimerId> ticks;
    window.onTimerTick = [&ticks](TimerId id) { ticks.push_back(id); };
    window.SetTimerEnabled(TimerId::Timer1, true);
    QElapsedTimer clock;
    clock.start();
    auto seen = [&ticks](TimerId id) {
        return std::find(ticks.begin(), ticks.end(), id) != ticks.end();
    };
    while (!(seen(TimerId::Timer1) && seen(TimerId::Timer_PF)) && clock.elapsed() < 5000) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    EXPECT_TRUE(seen(TimerId::Timer1));
    EXPECT_TRUE(seen(TimerId::Timer_PF));
    EXPECT_FALSE(seen(TimerId::Timer));
    EXPECT_FALSE(seen(TimerId::Timer_Start));
}

}  // namespace
}  // namespace quorvel
