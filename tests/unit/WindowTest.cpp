// The window as the operator meets it: layout, colours really painted, decoration, focus,
// start-up and Exit through the real wiring.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTimer>
#include <filesystem>

#include "support/WindowFront.h"
#include "ui/QtMessageBox.h"

namespace quorvel::testing {
namespace {

// Every control's place, font and text, and the colours it is really painted in.
TEST(Window, ControlsHaveTheirPlaceFontTextAndColours) {
    struct Row {
        const char* name;
        const char* parent;
        QRect rect;
        double points;
        bool bold;
        QString text;
        void (MainWindow::*set)(Colour) = nullptr;  // and the colours a person sees it take
        std::vector<Colour> colours = {};
        QPoint at = {};
        int tolerance = 0;  // the style shades a drop-down a little
    };
    const Row rows[] = {
        {"Text_Error_1", "Form1", {12, 88, 199, 105}, 12, true, "", &MainWindow::SetStatusColour,
         {Colour::Red, Colour::Green, Colour::ButtonFace}, {100, 90}},
        {"Com_Exit", "Form1", {222, 136, 111, 57}, 12, false, "Exit"},
        {"Cmd_Start_1", "Form1", {222, 18, 113, 103}, 14.25, true, "Cold Start On/Off", &MainWindow::SetStartButtonColour,
         {Colour::Grey, Colour::ButtonFace}, {8, 95}},
        {"Frame5", "Form1", {12, 8, 199, 71}, 12, false, ""},
        {"ComPort_6", "Frame5", {90, 14, 81, 27}, 12, false, "", &MainWindow::SetSelectorColours,
         {Colour::WindowColour, Colour::ButtonFace}, {20, 13}, 16},
        {"BaudRate_6", "Frame5", {90, 42, 81, 27}, 12, false, "", &MainWindow::SetSelectorColours,
         {Colour::ButtonFace, Colour::WindowColour}, {20, 13}, 16},
        {"Label2", "Frame5", {8, 20, 83, 17}, 12, false, QStringLiteral("COM Port\uFF1A")},
        {"Label3", "Frame5", {10, 44, 81, 17}, 12, false, QStringLiteral("BaudRate\uFF1A")},
        {"Label1", "Form1", {12, 206, 199, 39}, 14.25, false, ""},
    };
    MainWindow window;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto* w = window.findChild<QWidget*>(row.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->parentWidget()->objectName(), row.parent);
        EXPECT_EQ(w->geometry(), row.rect);
        EXPECT_EQ(w->font().family(), "Times New Roman");
        EXPECT_EQ(w->font().pointSizeF(), row.points);
        EXPECT_EQ(w->font().bold(), row.bold);
        QString text = w->property("plainText").toString() + w->property("text").toString() +
                       w->property("title").toString();
        if (auto* box = qobject_cast<QComboBox*>(w)) text = QString::number(box->count()) + text;
        EXPECT_EQ(text, (qobject_cast<QComboBox*>(w) ? "0" : "") + row.text);
        for (Colour colour : row.colours) {
            (window.*row.set)(colour);
            const QColor shown = w->grab().toImage().pixelColor(row.at), want = MainWindow::ToQColor(colour);
            if (!qobject_cast<QPushButton*>(w)) {
                EXPECT_EQ(w->palette().color(QPalette::Base), want);  // a drop-down's list too
            }
            EXPECT_LE(std::abs(shown.red() - want.red()) + std::abs(shown.green() - want.green()) +
                          std::abs(shown.blue() - want.blue()), 3 * row.tolerance) << shown.name().toStdString();
        }
    }
    EXPECT_EQ(window.windowTitle(), QStringLiteral("\u300A Quorvel \u300B"));
    EXPECT_EQ(window.minimumSize(), QSize(346, 262));
    EXPECT_EQ(window.maximumSize(), QSize(346, 262));
    auto* status = window.findChild<QTextEdit*>("Text_Error_1");
    EXPECT_TRUE(status->isReadOnly());
    EXPECT_EQ(status->palette().color(QPalette::Text), QColor(Qt::black));
    EXPECT_EQ(status->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(window.palette().color(QPalette::Window), MainWindow::ToQColor(Colour::ButtonFace));
    const QColor named[] = {{255, 0, 0}, {0, 255, 0}, {170, 170, 170}};
    EXPECT_EQ(MainWindow::ToQColor(Colour::Red), named[0]);
    EXPECT_EQ(MainWindow::ToQColor(Colour::Green), named[1]);
    EXPECT_EQ(MainWindow::ToQColor(Colour::Grey), named[2]);
    EXPECT_NE(MainWindow::ToQColor(Colour::ButtonFace), MainWindow::ToQColor(Colour::WindowColour));
}

TEST(Window, DisplayOperationsShowWhatTheyAreGiven) {
    MainWindow w(25);
    auto* status = w.findChild<QTextEdit*>("Text_Error_1");
    const std::string text = "Cold Start OK!\r\nCOM 3  error!\xB0";
    w.SetStatusText(text);
    EXPECT_EQ(w.StatusText(), text);
    EXPECT_EQ(status->toPlainText(), QStringLiteral("Cold Start OK!\nCOM 3  error!\u00B0"));
    w.SetLabel1("<b>Connected!</b>");
    EXPECT_EQ(w.findChild<QLabel*>("Label1")->text(), "<b>Connected!</b>");
    EXPECT_EQ(w.findChild<QLabel*>("Label1")->textFormat(), Qt::PlainText);
    w.SetFrame5Enabled(false);
    for (const char* name : {"ComPort_6", "BaudRate_6", "Label2"})
        EXPECT_FALSE(w.findChild<QWidget*>(name)->isEnabled()) << name;
    for (const char* entry : {"COM 1", "COM 7"}) w.AddSelectorEntry(Selector::ComPort_6, entry);
    EXPECT_EQ(w.SelectedPort(), "");  // nothing until asked
    for (const char* refused : {"COM 150", "com 7", "COM 7 ", ""})
        EXPECT_FALSE(w.SelectSelectorEntry(Selector::ComPort_6, refused)) << refused;
    EXPECT_TRUE(w.SelectSelectorEntry(Selector::ComPort_6, "COM 7"));
    EXPECT_EQ(w.SelectedPort(), "COM 7");
    EXPECT_EQ(w.SelectedBaud(), "");
    for (const char* name : {"Timer1", "Timer", "Timer_Start", "Timer_PF"}) {
        auto* timer = w.findChild<QTimer*>(name);
        EXPECT_EQ(timer->interval(), 25) << name;
        EXPECT_EQ(timer->isActive(), std::string(name) == "Timer_PF") << name;
    }
    w.SetTimerEnabled(TimerId::Timer1, true);  // switching a running timer on keeps its rhythm
    w.findChild<QTimer*>("Timer1")->setInterval(1000);
    w.SetTimerEnabled(TimerId::Timer1, false), w.SetTimerEnabled(TimerId::Timer1, true);
    WaitFor([] { return false; }, 300);
    w.SetTimerEnabled(TimerId::Timer1, true);
    EXPECT_LT(w.findChild<QTimer*>("Timer1")->remainingTime(), 900);
    w.findChild<QTimer*>("Timer1")->setInterval(25);
    std::vector<TimerId> ticked;  // each timer's ticks reach the handler under its own name
    w.onTimerTick = [&](TimerId timer) { ticked.push_back(timer); };
    for (TimerId timer : {TimerId::Timer1, TimerId::Timer, TimerId::Timer_Start, TimerId::Timer_PF}) {
        for (TimerId other : {TimerId::Timer1, TimerId::Timer, TimerId::Timer_Start, TimerId::Timer_PF})
            w.SetTimerEnabled(other, other == timer);
        ticked.clear();
        EXPECT_TRUE(WaitFor([&] { return ticked.size() >= 2; }));
        EXPECT_EQ(ticked, std::vector<TimerId>(ticked.size(), timer));
    }
}

TEST(Window, OffersNoCloseFadesInAndTabsThroughItsControls) {
    MainWindow w;
    w.TrimSystemMenu();
    const Qt::WindowFlags flags = w.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowTitleHint);
    EXPECT_FALSE(flags & (Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    w.FadeIn();
    EXPECT_EQ(w.FadeSteps(), (std::vector<double>{0, 60 / 255.0, 120 / 255.0, 180 / 255.0, 240 / 255.0, 1}));
    EXPECT_EQ(w.windowOpacity(), 1.0);
    EXPECT_TRUE(w.isVisible());
    QCloseEvent request;
    QApplication::sendEvent(&w, &request);
    EXPECT_FALSE(request.isAccepted());
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.windowIcon().availableSizes(), (QList<QSize>{{16, 16}, {32, 32}}));

    w.activateWindow();
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget()->objectName(), "Text_Error_1");
    for (const char* next : {"BaudRate_6", "ComPort_6", "Cmd_Start_1", "Com_Exit", "Text_Error_1"}) {
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
        QApplication::sendEvent(QApplication::focusWidget(), &tab);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), next);
    }
}

TEST(Window, MessageBoxHasTheTitlePlainTextAndOnlyOk) {
    MainWindow w;
    QtMessageBox messages(&w);
    QString seen;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen = box->windowTitle() + "|" + box->text();
        EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
        EXPECT_EQ(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
        box->button(QMessageBox::Ok)->click();
    });
    messages.Show("File lose.....", "<b>Can't find the \"Set.txt\" file</b>");
    EXPECT_EQ(seen, "File lose.....|<b>Can't find the \"Set.txt\" file</b>");
}

TEST(Program, StartsUpIdleAndShowsEachPortsDeviceOnItsEntry) {
    WindowFront f;
    auto* ports = f.Child<QComboBox>("ComPort_6");
    EXPECT_EQ(ports->count(), 101);
    EXPECT_EQ(ports->itemText(100), "COM 101");
    EXPECT_EQ(f.Child<QComboBox>("BaudRate_6")->count(), 10);
    EXPECT_EQ(ports->currentText(), "COM 1");
    EXPECT_EQ(f.Child<QComboBox>("BaudRate_6")->currentText(), "9600");
    EXPECT_EQ(f.Label(), "Not connected!");
    EXPECT_EQ(f.Status(), "");
    EXPECT_EQ(Timers(f), "---P");
    EXPECT_EQ(f.Child<QTimer>("Timer_PF")->interval(), 1000);
    EXPECT_EQ(f.State().RestartCountdown, 0);
    EXPECT_TRUE(f.Window().isVisible());
    EXPECT_TRUE(f.messages.shown.empty());
    std::filesystem::create_symlink("/dev/ptmx", f.dir.filePath("com7").toStdString());
    ports->showPopup();
    EXPECT_EQ(ports->itemData(6, Qt::ToolTipRole).toString().toStdString(),
              f.dir.filePath("com7").toStdString() + " -> /dev/ptmx (present)");
    EXPECT_EQ(ports->itemData(33, Qt::ToolTipRole).toString(), "/dev/ttyUSB1 (not present)");
    ports->hidePopup();
}

TEST(Program, ExitClosesThePortAndNothingIsHandledAfterIt) {
    WindowFront f;
    f.Click();
    f.Tick(TimerId::Timer1);
    f.Receive(Line(Gga("120000.00")));
    ASSERT_TRUE(f.Port().IsOpen());
    const auto saved = f.settings.lines;
    f.Child<QPushButton>("Com_Exit")->click();
    EXPECT_FALSE(f.Port().IsOpen());
    EXPECT_FALSE(f.Window().isVisible());
    EXPECT_EQ(Timers(f), "----");
    const std::string before = f.Status();
    const RunState state = f.State();
    f.Window().onTimerTick(TimerId::Timer_PF);
    f.Window().onTimerTick(TimerId::Timer1);
    f.Port().open = true;
    f.Receive(Line(Gga("120001.00")));
    EXPECT_EQ(f.Status(), before);
    EXPECT_EQ(f.State().ReceiveTick, state.ReceiveTick);
    EXPECT_EQ(f.State().ConnectTicks, state.ConnectTicks);
    EXPECT_EQ(f.settings.lines, saved);
}

}  // namespace
}  // namespace quorvel::testing
