// The window's dressing: no close command, fade-in, icon.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QIcon>

#include "ui/MainWindow.h"

namespace quorvel {
namespace {

TEST(DecorationTest, TitleBarOffersNoCloseMinimiseOrMaximise) {
    MainWindow window;
    for (int trims = 0; trims < 2; ++trims) {
        const Qt::WindowFlags flags = window.windowFlags();
        EXPECT_TRUE(flags & Qt::Window);
        EXPECT_TRUE(flags & Qt::CustomizeWindowHint);
        EXPECT_TRUE(flags & Qt::WindowTitleHint);
        EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
        EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
        EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
        EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
        window.TrimSystemMenu();
    }
}

TEST(DecorationTest, TrimmingAShownWindowLeavesItShown) {
    MainWindow window;
    window.show();
    window.TrimSystemMenu();
    window.TrimSystemMenu();
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.windowFlags() & Qt::WindowCloseButtonHint);
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
    const std::vector<double> expected = {0.0,         60 / 255.0,  120 / 255.0,
                                          180 / 255.0, 240 / 255.0, 1.0};
    ASSERT_EQ(window.FadeSteps().size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_DOUBLE_EQ(window.FadeSteps()[i], expected[i]) << "step " << i;
    }
    EXPECT_DOUBLE_EQ(window.windowOpacity(), 1.0);
    EXPECT_TRUE(window.isVisible());
}

TEST(DecorationTest, IconHasBothSizesAndShowsTheSignpost) {
    MainWindow window;
    const QIcon icon = window.windowIcon();
    const QList<QSize> sizes = icon.availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));

    const QImage image = icon.pixmap(QSize(32, 32)).toImage();
    ASSERT_EQ(image.size(), QSize(32, 32));
    EXPECT_EQ(image.pixelColor(20, 12), QColor(Qt::white));              // the arrow
    EXPECT_EQ(image.pixelColor(5, 8).rgb(), QColor(255, 140, 0).rgb());  // the board
    EXPECT_EQ(image.pixelColor(1, 30).alpha(), 0);                       // see-through corner
}

}  // namespace
}  // namespace quorvel
