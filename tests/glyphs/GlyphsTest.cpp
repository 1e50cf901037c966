#include "ImageProbe.h"

#include "app/Glyphs.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QToolButton>

#include <array>

namespace {

constexpr std::array AllGlyphs {Glyph::Exit,  Glyph::Pswd, Glyph::Cfg,   Glyph::Open,
                                Glyph::Close, Glyph::Help, Glyph::About, Glyph::Test};

QImage look(Glyph glyph, bool enabled, qreal dpr = 1.0)
{
    return glyphPixmap(glyph, enabled, dpr).toImage().convertToFormat(QImage::Format_ARGB32);
}

bool isOpaque(const QColor &c)
{
    return c.alpha() > 128;
}

} // namespace

TEST(Glyphs, EveryGlyphHasAColouredNormalLookAndAGreyDisabledLook)
{
    for (Glyph glyph : AllGlyphs) {
        SCOPED_TRACE(int(glyph));
        const QImage normal = look(glyph, true);
        const QImage disabled = look(glyph, false);
        ASSERT_EQ(normal.size(), QSize(GlyphSize, GlyphSize));
        ASSERT_EQ(disabled.size(), QSize(GlyphSize, GlyphSize));

        // Transparent around the drawing, a fair part of the box covered.
        EXPECT_EQ(normal.pixelColor(0, 0).alpha(), 0);
        EXPECT_GT(countPixels(normal, isOpaque), GlyphSize * GlyphSize / 5);
        EXPECT_GT(countPixels(normal, isVivid), 10);

        EXPECT_NE(normal, disabled);
        EXPECT_GT(countPixels(disabled, isOpaque), GlyphSize * GlyphSize / 5);
        EXPECT_EQ(
            countPixels(disabled,
                        [](const QColor &c) { return c.alpha() > 32 && c.hsvSaturation() > 20; }),
            0);
    }
}

TEST(Glyphs, EveryButtonGetsItsOwnDrawing)
{
    for (std::size_t i = 0; i < AllGlyphs.size(); ++i)
        for (std::size_t j = i + 1; j < AllGlyphs.size(); ++j)
            EXPECT_NE(look(AllGlyphs[i], true), look(AllGlyphs[j], true)) << i << " " << j;
}

TEST(Glyphs, SharpPixmapsKeepTheLogicalSize)
{
    const QPixmap sharp = glyphPixmap(Glyph::Help, true, 2.0);
    EXPECT_EQ(sharp.size(), QSize(2 * GlyphSize, 2 * GlyphSize));
    EXPECT_EQ(sharp.deviceIndependentSize(), QSizeF(GlyphSize, GlyphSize));
    EXPECT_GT(countPixels(sharp.toImage(), isVivid), 40);
}

TEST(Glyphs, ToolButtonShowsTheDisabledLookByItself)
{
    QToolButton button;
    button.setAutoRaise(true);
    button.setIconSize(QSize(GlyphSize, GlyphSize));
    button.setFixedSize(25, 24);
    const QRect middle(3, 3, 19, 18);
    for (Glyph glyph : AllGlyphs) {
        SCOPED_TRACE(int(glyph));
        button.setIcon(glyphIcon(glyph));
        button.setEnabled(true);
        EXPECT_GT(countPixels(button.grab().toImage(), isVivid, middle), 10);
        button.setEnabled(false);
        const QImage disabled = button.grab().toImage();
        EXPECT_EQ(countPixels(disabled, [](const QColor &c) { return c.hsvSaturation() > 40; }), 0);
        // Still drawn, not blank: the grey drawing has its dark parts.
        EXPECT_GT(countPixels(
                      disabled, [](const QColor &c) { return c.lightness() < 200; }, middle),
                  10);
    }
}

TEST(StatusImageList, HoldsEightSixteenPixelImagesOnWhite)
{
    const StatusImageList list;
    ASSERT_EQ(list.count(), 8);
    EXPECT_EQ(list.width(), 16);
    EXPECT_EQ(list.height(), 16);
    for (int i = 0; i < list.count(); ++i) {
        SCOPED_TRACE(i);
        const QImage image = list.image(i);
        ASSERT_EQ(image.size(), QSize(16, 16));
        EXPECT_FALSE(image.hasAlphaChannel());
        EXPECT_EQ(image.pixelColor(0, 0), QColor(Qt::white));
        EXPECT_GT(countPixels(image, [](const QColor &c) { return c != QColor(Qt::white); }), 60);
        for (int j = 0; j < i; ++j)
            EXPECT_NE(image, list.image(j)) << "same as " << j;
    }
    EXPECT_TRUE(list.image(-1).isNull());
    EXPECT_TRUE(list.image(8).isNull());
}

TEST(StatusImageList, ImagesCarryTheirColoursInTheFixedOrder)
{
    const StatusImageList list;
    struct Case
    {
        int index;
        const char *name;
        int hueFrom;
        int hueTo;
    };
    // Hues in degrees: the lamps are red, yellow and green; key and padlocks brass.
    const Case cases[] = {
        {ImageKey, "key", 30, 60},
        {ImageOpenPadlock, "open padlock", 30, 60},
        {ImageClosedPadlock, "closed padlock", 30, 60},
        {ImageLitBulb, "lit bulb", 20, 65},
        {ImageRedLamp, "red lamp", 345, 15},
        {ImageYellowLamp, "yellow lamp", 42, 65},
        {ImageGreenLamp, "green lamp", 95, 145},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QImage image = list.image(c.index);
        const int vivid = countPixels(image, isVivid);
        const int inHue = countPixels(image, [&](const QColor &colour) {
            return isVivid(colour) && hueWithin(colour, c.hueFrom, c.hueTo);
        });
        EXPECT_GT(vivid, 40);
        EXPECT_GE(inHue, vivid * 9 / 10);
    }
}

TEST(StatusImageList, LitBulbIsBrighterAndYellowerThanTheUnlitOne)
{
    const StatusImageList list;
    const QImage unlit = list.image(ImageUnlitBulb);
    const QImage lit = list.image(ImageLitBulb);
    const auto yellow = [](const QColor &c) { return isVivid(c) && hueWithin(c, 30, 65); };
    EXPECT_LT(countPixels(unlit, yellow), 3);
    EXPECT_GT(countPixels(lit, yellow), 60);

    // The glass itself, above the base.
    const QRect glass(5, 3, 6, 6);
    const auto light = [](const QColor &c) { return c.value() > 235; };
    EXPECT_GT(countPixels(lit, light, glass), countPixels(unlit, light, glass));
    EXPECT_EQ(countPixels(unlit, isVivid), 0);
}

TEST(StatusImageList, WhiteIsLeftOutWhenDrawn)
{
    const StatusImageList list;
    const QColor background(Qt::magenta);
    const QPoint at(3, 4);
    for (int i = 0; i < list.count(); ++i) {
        SCOPED_TRACE(i);
        const QImage image = list.image(i);
        QImage canvas(24, 24, QImage::Format_RGB32);
        canvas.fill(background);
        {
            QPainter painter(&canvas);
            drawImageWhiteTransparent(painter, at, image);
        }
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const QColor expected = image.pixelColor(x, y) == QColor(Qt::white)
                    ? background
                    : image.pixelColor(x, y);
                ASSERT_EQ(canvas.pixelColor(at.x() + x, at.y() + y), expected) << x << "," << y;
            }
        // Nothing outside the image's own 16 × 16 is touched.
        EXPECT_EQ(canvas.pixelColor(at.x() + 16, at.y() + 16), background);
    }
}

TEST(StatusImageList, LampsHaveNoHoles)
{
    // The gloss on a lamp must stay visible: no pure white inside the glass.
    const StatusImageList list;
    for (int i : {ImageRedLamp, ImageYellowLamp, ImageGreenLamp}) {
        const QImage image = list.image(i);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                if ((x - 8) * (x - 8) + (y - 8) * (y - 8) <= 30) {
                    EXPECT_NE(image.pixelColor(x, y), QColor(Qt::white))
                        << i << ":" << x << "," << y;
                }
            }
    }
}
