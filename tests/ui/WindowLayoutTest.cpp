// The window as created: layout, fonts, texts, colours, focus order and timers.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>
#include <ostream>

#include "ui/MainWindow.h"

namespace quorvel {
namespace {

struct ControlCase {
    const char* name;
    const char* parent;
    QRect rect;
    double pointSize;
    bool bold;
    QString text;
};
void PrintTo(const ControlCase& c, std::ostream* os) { *os << c.name; }

class WindowLayoutTest : public ::testing::TestWithParam<ControlCase> {
  protected:
    MainWindow window;
};

TEST_P(WindowLayoutTest, ControlHasItsPlaceFontAndText) {
    const ControlCase& c = GetParam();
    auto* control = window.findChild<QWidget*>(QString::fromLatin1(c.name));
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->parentWidget()->objectName(), QString::fromLatin1(c.parent));
    EXPECT_EQ(control->geometry(), c.rect);
    const QFont font = control->font();
    EXPECT_EQ(font.family(), QStringLiteral("Times New Roman"));
    EXPECT_DOUBLE_EQ(font.pointSizeF(), c.pointSize);
    EXPECT_EQ(font.bold(), c.bold);
    EXPECT_TRUE(control->isVisibleTo(&window));

    if (auto* edit = qobject_cast<QTextEdit*>(control)) {
        EXPECT_EQ(edit->toPlainText(), c.text);
    } else if (auto* button = qobject_cast<QPushButton*>(control)) {
        EXPECT_EQ(button->text(), c.text);
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
        EXPECT_EQ(label->text(), c.text);
    } else if (auto* box = qobject_cast<QComboBox*>(control)) {
        EXPECT_EQ(box->count(), 0);
    } else if (auto* frame = qobject_cast<QGroupBox*>(control)) {
        EXPECT_EQ(frame->title(), c.text);
    } else {
        ADD_FAILURE() << c.name << " is of an unexpected kind";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Controls, WindowLayoutTest,
    ::testing::Values(
        ControlCase{"Text_Error_1", "Form1", {12, 88, 199, 105}, 12, true, {}},
        ControlCase{"Com_Exit", "Form1", {222, 136, 111, 57}, 12, false, "Exit"},
        ControlCase{"Cmd_Start_1", "Form1", {222, 18, 113, 103}, 14.25, true, "Cold Start On/Off"},
        ControlCase{"Frame5", "Form1", {12, 8, 199, 71}, 12, false, {}},
        ControlCase{"ComPort_6", "Frame5", {90, 14, 81, 27}, 12, false, {}},
        ControlCase{"BaudRate_6", "Frame5", {90, 42, 81, 27}, 12, false, {}},
        ControlCase{
            "Label2", "Frame5", {8, 20, 83, 17}, 12, false, QStringLiteral("COM Port\uFF1A")},
        ControlCase{
            "Label3", "Frame5", {10, 44, 81, 17}, 12, false, QStringLiteral("BaudRate\uFF1A")},
        ControlCase{"Label1", "Form1", {12, 206, 199, 39}, 14.25, false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WindowTest, HasFixedClientSizeCaptionAndButtonFaceBackground) {
    MainWindow window;
    EXPECT_EQ(window.objectName(), QStringLiteral("Form1"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("\u300A Quorvel \u300B"));
    EXPECT_EQ(window.minimumSize(), QSize(346, 262));
    EXPECT_EQ(window.maximumSize(), QSize(346, 262));
    EXPECT_EQ(window.palette().color(QPalette::Window), MainWindow::ToQColor(Colour::ButtonFace));
}

TEST(WindowTest, StatusBoxIsReadOnlyBlackOnButtonFaceAndHasTheFocus) {
    MainWindow window;
    auto* status = window.findChild<QTextEdit*>(QStringLiteral("Text_Error_1"));
    ASSERT_NE(status, nullptr);
    EXPECT_TRUE(status->isReadOnly());
    EXPECT_EQ(status->lineWrapMode(), QTextEdit::WidgetWidth);
    EXPECT_EQ(status->palette().color(QPalette::Text), QColor(Qt::black));
    EXPECT_EQ(status->palette().color(QPalette::Base), MainWindow::ToQColor(Colour::ButtonFace));
    EXPECT_EQ(window.focusWidget(), status);
}

TEST(WindowTimersTest, OnlyTimerPfRunsFromCreationAtTheGivenInterval) {
    MainWindow window(25);
    for (const char* name : {"Timer1", "Timer", "Timer_Start", "Timer_PF"}) {
        auto* timer = window.findChild<QTimer*>(QString::fromLatin1(name));
        ASSERT_NE(timer, nullptr) << name;
        EXPECT_EQ(timer->interval(), 25) << name;
        EXPECT_EQ(timer->isActive(), std::string(name) == "Timer_PF") << name;
    }
    EXPECT_TRUE(window.TimerEnabled(TimerId::Timer_PF));
    EXPECT_FALSE(window.TimerEnabled(TimerId::Timer1));
}

QString FocusAfterTab() {
    QWidget* focused = QApplication::focusWidget();
    if (!focused) return {};
    QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
    QApplication::sendEvent(focused, &tab);
    return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString();
}

TEST(WindowFocusTest, TabWalksTheShownWindowAndSkipsALockedFrame) {
    MainWindow window;
    window.show();
    window.activateWindow();
    QApplication::processEvents();
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), QStringLiteral("Text_Error_1"));
    for (const char* next :
         {"BaudRate_6", "ComPort_6", "Cmd_Start_1", "Com_Exit", "Text_Error_1"}) {
        EXPECT_EQ(FocusAfterTab(), QString::fromLatin1(next));
    }
    window.SetFrame5Enabled(false);
    EXPECT_EQ(FocusAfterTab(), QStringLiteral("Cmd_Start_1"));
}

}  // namespace
}  // namespace quorvel
