#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QPoint>

#include <array>

class QPainter;

// The main window's drawn images: the glyphs of the toolbar's speed buttons
// and the status bar's image list. Everything is painted in code, so the
// program carries no image files for them.

// Speed button glyphs, one per button of the main window.
enum class Glyph { Exit, Pswd, Cfg, Open, Close, Help, About, Test };

inline constexpr int GlyphSize = 18;

// The glyph in its normal look (enabled) or its greyed, embossed look
// (disabled), GlyphSize × GlyphSize logical pixels on a transparent
// background. A devicePixelRatio above 1 gives a sharper pixmap of the same
// logical size.
QPixmap glyphPixmap(Glyph glyph, bool enabled, qreal devicePixelRatio = 1.0);

// Both looks in one icon (Normal and Disabled modes, at 1× and 2×), so a tool
// button switches between them by itself when it is enabled or disabled.
QIcon glyphIcon(Glyph glyph);

// Positions in the status bar's image list.
enum StatusImage {
    ImageKey = 0,
    ImageOpenPadlock = 1,
    ImageClosedPadlock = 2,
    ImageUnlitBulb = 3,
    ImageLitBulb = 4,
    ImageRedLamp = 5,
    ImageYellowLamp = 6,
    ImageGreenLamp = 7,
};

// The status bar's image list: eight 16 × 16 images on a white background, in
// the order of StatusImage. White stands for transparent when an image is drawn
// with drawImageWhiteTransparent; the drawings use an off-white wherever they
// mean white.
class StatusImageList
{
public:
    static constexpr int Count = 8;
    static constexpr int Size = 16;

    StatusImageList();

    int count() const { return Count; }
    int width() const { return Size; }
    int height() const { return Size; }
    // The image at index (0 to count() - 1); a null image for any other index.
    QImage image(int index) const;

private:
    std::array<QImage, Count> images;
};

// Draws image with its top-left corner at topLeft, in its own size, with every
// pure white pixel left out so that the background shows through.
void drawImageWhiteTransparent(QPainter &canvas, const QPoint &topLeft, const QImage &image);
