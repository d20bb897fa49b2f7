// The window's dressing: no close command, fade-in, icon, and its message box.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QMessageBox>
#include <QTimer>

#include "ui/MainWindow.h"
#include "ui/QtMessageBox.h"

namespace quorvel {
namespace {

TEST(DecorationTest, TitleBarOffersNoCloseMinimiseOrMaximiseAlsoWhenTrimmed) {
    MainWindow window;
    window.show();
    for (int trims = 0; trims < 2; ++trims) {
        const Qt::WindowFlags flags = window.windowFlags();
        EXPECT_TRUE(flags & Qt::WindowTitleHint);
        EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
        EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
        EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
        window.TrimSystemMenu();
    }
    EXPECT_TRUE(window.isVisible());
}

TEST(DecorationTest, CloseRequestsAreRefusedUntilCloseIsAllowed) {
    MainWindow window;
    window.show();
    QCloseEvent request;
    QApplication::sendEvent(&window, &request);
    EXPECT_FALSE(request.isAccepted());
    EXPECT_FALSE(window.close());
    EXPECT_TRUE(window.isVisible());

    window.AllowClose();
    EXPECT_TRUE(window.close());
    EXPECT_FALSE(window.isVisible());
}

TEST(DecorationTest, FadeInStepsUpToFullyOpaqueAndVisible) {
    MainWindow window;
    window.FadeIn();
    ASSERT_EQ(window.FadeSteps().size(), 6u);
    EXPECT_DOUBLE_EQ(window.FadeSteps().front(), 0.0);
    EXPECT_DOUBLE_EQ(window.FadeSteps()[1], 60 / 255.0);
    EXPECT_DOUBLE_EQ(window.windowOpacity(), 1.0);
    EXPECT_TRUE(window.isVisible());
}

TEST(DecorationTest, IconHasBothSizesAndShowsTheSignpost) {
    MainWindow window;
    const QIcon icon = window.windowIcon();
    EXPECT_TRUE(icon.availableSizes().contains(QSize(16, 16)));
    EXPECT_TRUE(icon.availableSizes().contains(QSize(32, 32)));
    const QImage image = icon.pixmap(QSize(32, 32)).toImage();
    EXPECT_EQ(image.pixelColor(5, 8).rgb(), QColor(255, 140, 0).rgb());  // the board
    EXPECT_EQ(image.pixelColor(1, 30).alpha(), 0);                       // see-through corner
}

TEST(DecorationTest, MessageBoxShowsTitleAndPlainTextWithOkOnlyAndNoIcon) {
    MainWindow window;
    QtMessageBox messages(&window);
    QMessageBox* seen = nullptr;
    QString title, text;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        seen = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!seen) return;
        poll.stop();
        title = seen->windowTitle();
        text = seen->text();
        EXPECT_EQ(seen->icon(), QMessageBox::NoIcon);
        EXPECT_EQ(seen->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
        EXPECT_EQ(seen->parentWidget(), &window);
        seen->button(QMessageBox::Ok)->click();
    });
    poll.start(10);
    messages.Show("\xE3\x80\x8A File lose.....", "<b>Can't find the \"Set.txt\" file</b>");

    ASSERT_NE(seen, nullptr);
    EXPECT_EQ(title, QStringLiteral("\u300A File lose....."));
    EXPECT_EQ(text, QStringLiteral("<b>Can't find the \"Set.txt\" file</b>"));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
}  // namespace quorvel
