#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <functional>

#include "ui/MainWindow.h"
#include "ui/QtMessageBox.h"

namespace quorvel {
namespace {

struct Seen {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::Warning;
    QMessageBox::StandardButtons buttons;
    QWidget* parent = nullptr;
    bool modal = false;
};

// Answers the modal box with OK as soon as it is up, noting what it showed.
void AnswerWhenShown(Seen& seen, int triesLeft = 500) {
    QTimer::singleShot(10, [&seen, triesLeft] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            if (triesLeft > 0) AnswerWhenShown(seen, triesLeft - 1);
            return;
        }
        seen = {box->windowTitle(),     box->text(),         box->icon(),
                box->standardButtons(), box->parentWidget(), box->isModal()};
        box->button(QMessageBox::Ok)->click();
    });
}

TEST(QtMessageBoxTest, ShowsTitleAndTextWithOkOnlyAndNoIcon) {
    MainWindow window;
    QtMessageBox messages(&window);
    Seen seen;
    AnswerWhenShown(seen);
    messages.Show("File lose.....", "Can't find the \"Set.txt\" file, now make a new!");

    EXPECT_EQ(seen.title, QStringLiteral("File lose....."));
    EXPECT_EQ(seen.text, QStringLiteral("Can't find the \"Set.txt\" file, now make a new!"));
    EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
    EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(seen.parent, &window);
    EXPECT_TRUE(seen.modal);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(QtMessageBoxTest, TextIsShownAsPlainUtf8) {
    QtMessageBox messages(nullptr);
    Seen seen;
    AnswerWhenShown(seen);
    messages.Show("\xE3\x80\x8A T \xE3\x80\x8B", "<b>not bold</b>");
    EXPECT_EQ(seen.title, QStringLiteral("\u300A T \u300B"));
    EXPECT_EQ(seen.text, QStringLiteral("<b>not bold</b>"));
}

}  // namespace
}  // namespace quorvel
