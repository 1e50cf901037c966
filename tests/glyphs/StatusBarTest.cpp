#include "ImageProbe.h"

#include "app/Glyphs.h"
#include "app/TStatusBar.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPainter>
#include <QTest>
#include <QTimer>

#include <stdexcept>
#include <vector>

namespace {

struct DrawCall
{
    int panel;
    QRect rect;
};

// The horizontal extent of the dark (text) pixels within rect, or an empty
// pair when there are none.
std::pair<int, int> inkSpan(const QImage &image, const QRect &rect)
{
    int first = -1;
    int last = -1;
    for (int x = rect.left(); x <= rect.right(); ++x)
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            if (image.pixelColor(x, y).lightness() < 110) {
                if (first < 0)
                    first = x;
                last = x;
                break;
            }
    return {first, last};
}

} // namespace

TEST(TStatusBar, FivePanelsWithTheirWidths)
{
    TStatusBar bar;
    bar.resize(480, 40);
    EXPECT_EQ(bar.height(), 25);
    ASSERT_EQ(bar.panelCount(), 5);
    const int widths[] = {150, 16 + 5, 16 + 6, 16 + 6, 100};
    int left = 0;
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(bar.panelWidth(i), widths[i]);
        EXPECT_EQ(bar.panelRect(i).left(), left);
        EXPECT_EQ(bar.panelRect(i).top(), TStatusBar::TopBorder);
        EXPECT_EQ(bar.panelRect(i).bottom(), 24);
        left += widths[i];
    }
    for (int i : {1, 2, 3})
        EXPECT_EQ(bar.panelStyle(i), TStatusBar::PanelStyle::OwnerDraw);
    for (int i : {0, 4})
        EXPECT_EQ(bar.panelStyle(i), TStatusBar::PanelStyle::Text);
    EXPECT_TRUE(bar.panelAlignment(4) & Qt::AlignHCenter);

    // The last panel takes up the rest of a wider bar, and keeps its width in a narrow one.
    EXPECT_EQ(bar.panelRect(4).right(), 479);
    bar.resize(250, 25);
    EXPECT_EQ(bar.panelRect(4).width(), 100);

    bar.setPanelWidth(1, 40);
    EXPECT_EQ(bar.panelWidth(1), 40);
    EXPECT_EQ(bar.panelRect(2).left(), 190);
    EXPECT_EQ(bar.sizeHint(), QSize(150 + 40 + 22 + 22 + 100, 25));
}

TEST(TStatusBar, PanelTextsAndUnknownPanels)
{
    TStatusBar bar;
    bar.setPanelText(0, QStringLiteral("TRANSMISJA:3"));
    bar.setPanelText(4, QStringLiteral("Wyłącz serwer"));
    EXPECT_EQ(bar.panelText(0), QStringLiteral("TRANSMISJA:3"));
    EXPECT_EQ(bar.panelText(4), QStringLiteral("Wyłącz serwer"));
    EXPECT_EQ(bar.panelText(1), QString());

    bar.setPanelText(5, QStringLiteral("x"));
    bar.setPanelText(-1, QStringLiteral("x"));
    bar.setPanelWidth(7, 10);
    EXPECT_EQ(bar.panelText(5), QString());
    EXPECT_EQ(bar.panelWidth(7), 0);
    EXPECT_TRUE(bar.panelRect(-1).isNull());
    EXPECT_EQ(bar.panelRect(4).left(), 150 + 21 + 22 + 22);
}

TEST(TStatusBar, StateTextOnTheLeftAndNextStepCentred)
{
    for (int width : {315, 480}) {
        SCOPED_TRACE(width);
        TStatusBar bar;
        bar.resize(width, 25);
        bar.setPanelText(0, QStringLiteral("KONFIGURACJA"));
        bar.setPanelText(4, QStringLiteral("Włącz serwer"));
        const QImage image = bar.grab().toImage();

        const auto [first0, last0] = inkSpan(image, bar.panelRect(0));
        ASSERT_GE(first0, 0);
        EXPECT_LE(first0, 6);
        EXPECT_LT(last0, 140);

        const QRect panel4 = bar.panelRect(4);
        const auto [first4, last4] = inkSpan(image, panel4);
        ASSERT_GE(first4, 0);
        const int leftRoom = first4 - panel4.left();
        const int rightRoom = panel4.right() - last4;
        EXPECT_GT(leftRoom, 3);
        EXPECT_LE(std::abs(leftRoom - rightRoom), 3) << leftRoom << " " << rightRoom;
    }
}

TEST(TStatusBar, RepaintAsksForPanelsOneToThreeOnly)
{
    TStatusBar bar;
    bar.resize(480, 25);
    bar.setPanelText(0, QStringLiteral("AUTORYZACJA"));
    bar.setPanelText(4, QStringLiteral("Wprowadź hasło"));
    std::vector<DrawCall> calls;
    bar.OnDrawPanel = [&](TStatusBar *statusBar, int panel, const QRect &rect, QPainter &canvas) {
        EXPECT_EQ(statusBar, &bar);
        EXPECT_TRUE(canvas.isActive());
        calls.push_back({panel, rect});
    };

    bar.grab();
    ASSERT_EQ(calls.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(calls[i].panel, i + 1);
        EXPECT_EQ(calls[i].rect, bar.panelRect(i + 1));
    }
    bar.grab();
    EXPECT_EQ(calls.size(), 6u);
}

// The main window's way of drawing a panel: the panel takes the image's width
// plus 5 or 6, and the image sits 1 pixel right and 2 below the panel's corner,
// its white left out.
TEST(TStatusBar, OwnerDrawnImagesLandInTheirPanels)
{
    const StatusImageList images;
    TStatusBar bar;
    bar.resize(480, 25);
    const int chosen[] = {0, ImageGreenLamp, ImageLitBulb, ImageClosedPadlock};
    std::vector<DrawCall> calls;
    bar.OnDrawPanel = [&](TStatusBar *statusBar, int panel, const QRect &rect, QPainter &canvas) {
        calls.push_back({panel, rect});
        statusBar->setPanelWidth(panel, images.width() + (panel == 1 ? 5 : 6) + 10);
        drawImageWhiteTransparent(canvas, rect.topLeft() + QPoint(1, 2),
                                  images.image(chosen[panel]));
    };
    const QImage shot = bar.grab().toImage();

    // A width set while drawing already places the next panel.
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[1].rect.left(), 150 + 31);
    EXPECT_EQ(calls[2].rect.left(), 150 + 31 + 32);

    const QColor background = bar.palette().window().color();
    const QPoint lampCentre = calls[0].rect.topLeft() + QPoint(1 + 8, 2 + 8);
    EXPECT_TRUE(hueWithin(shot.pixelColor(lampCentre), 95, 145));
    for (const DrawCall &call : calls) {
        // The image's white corner shows the bar behind it.
        EXPECT_EQ(shot.pixelColor(call.rect.topLeft() + QPoint(1, 2)), background);
        EXPECT_GT(countPixels(
                      shot, [&](const QColor &c) { return c != background; },
                      QRect(call.rect.topLeft() + QPoint(1, 2), QSize(16, 16))),
                  40);
    }
}

TEST(TStatusBar, FailingDrawHandlerIsShownOnceFromTheEventLoop)
{
    TStatusBar bar;
    bar.resize(480, 25);
    bar.OnDrawPanel = [](TStatusBar *, int panel, const QRect &, QPainter &canvas) {
        canvas.setPen(Qt::red);
        if (panel == 2)
            throw std::runtime_error("panel 2 failed");
    };

    QStringList shown;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            shown << box->text();
            box->button(QMessageBox::Ok)->click();
        }
    });
    poll.start(5);

    // Nothing escapes the paint, and no box opens inside it.
    bar.grab();
    bar.grab();
    EXPECT_TRUE(shown.isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !shown.isEmpty(); }, 10000));
    QCoreApplication::processEvents();
    EXPECT_EQ(shown, QStringList {QStringLiteral("panel 2 failed")});

    // Once answered, a later failure is shown again.
    bar.grab();
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.size() == 2; }, 10000));
}
