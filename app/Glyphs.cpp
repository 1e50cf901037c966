#include "app/Glyphs.h"

#include <QBitmap>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>
#include <QPolygonF>
#include <QRadialGradient>

#include <cmath>
#include <numbers>

namespace {

// Every motif is drawn on a 16 × 16 grid; glyphs put it 1 pixel in from each
// edge of their 18 × 18 box, which leaves room for the embossed highlight.
constexpr qreal GlyphInset = (GlyphSize - StatusImageList::Size) / 2.0;

// White in a drawing that must stay visible in the image list, where pure
// white means transparent.
const QColor OffWhite(250, 250, 246);

QPen outline(const QColor &colour, qreal width = 1.0)
{
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

QLinearGradient verticalGradient(qreal top, qreal bottom, const QColor &upper, const QColor &lower)
{
    QLinearGradient gradient(0, top, 0, bottom);
    gradient.setColorAt(0, upper);
    gradient.setColorAt(1, lower);
    return gradient;
}

// A tube along path: a dark wide stroke under a lighter narrow one, so that a
// bent bar (the shackle of a padlock) has an outline of its own.
void strokeTube(QPainter &p, const QPainterPath &path, qreal width, const QColor &edge,
                const QColor &body)
{
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(edge, width + 1.6, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
    p.drawPath(path);
    p.setPen(QPen(body, width, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
    p.drawPath(path);
}

void drawKey(QPainter &p)
{
    p.save();
    // A brass key lying diagonally, the bow at the top left.
    p.translate(5.0, 5.0);
    p.rotate(45);
    QPainterPath key;
    key.addEllipse(QPointF(0, 0), 3.9, 3.9);
    QPainterPath shaft;
    shaft.addRect(QRectF(3.0, -1.2, 9.6, 2.4));
    shaft.addRect(QRectF(8.4, 1.0, 1.5, 2.4));
    shaft.addRect(QRectF(10.9, 1.0, 1.7, 3.0));
    key = key.united(shaft);
    QPainterPath hole;
    hole.addEllipse(QPointF(-0.7, 0), 1.6, 1.6);
    key = key.subtracted(hole);

    QLinearGradient brass(-4, -4, 4, 4);
    brass.setColorAt(0, QColor(255, 230, 130));
    brass.setColorAt(0.5, QColor(232, 182, 40));
    brass.setColorAt(1, QColor(190, 135, 20));
    p.setBrush(brass);
    p.setPen(outline(QColor(110, 75, 5)));
    p.drawPath(key);
    p.restore();
}

void drawPadlock(QPainter &p, bool closed)
{
    // The shackle first, so the body covers its legs.
    QPainterPath shackle;
    if (closed) {
        shackle.moveTo(5.0, 8.0);
        shackle.lineTo(5.0, 5.0);
        shackle.arcTo(QRectF(5.0, 2.0, 6.0, 6.0), 180, -180);
        shackle.lineTo(11.0, 8.0);
    } else {
        // Lifted out of the body: the left leg stands well clear of it.
        shackle.moveTo(11.0, 8.0);
        shackle.lineTo(11.0, 3.8);
        shackle.arcTo(QRectF(5.0, 0.8, 6.0, 6.0), 0, 180);
    }
    strokeTube(p, shackle, 1.8, QColor(70, 72, 78), QColor(196, 200, 208));

    const QRectF body(2.5, 7.5, 11.0, 7.0);
    p.setBrush(
        verticalGradient(body.top(), body.bottom(), QColor(255, 218, 100), QColor(200, 140, 20)));
    p.setPen(outline(QColor(110, 75, 5)));
    p.drawRoundedRect(body, 1.5, 1.5);

    // The keyhole.
    QPainterPath keyhole;
    keyhole.addEllipse(QPointF(8.0, 10.2), 1.25, 1.25);
    keyhole.addPolygon(QPolygonF(
        {QPointF(7.3, 10.4), QPointF(8.7, 10.4), QPointF(9.1, 12.9), QPointF(6.9, 12.9)}));
    keyhole.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 40, 10));
    p.drawPath(keyhole.simplified());
}

void drawBulb(QPainter &p, bool lit)
{
    if (lit) {
        // A soft glow behind the glass.
        QRadialGradient glow(QPointF(8.0, 6.0), 8.0);
        glow.setColorAt(0, QColor(255, 236, 120, 200));
        glow.setColorAt(0.6, QColor(255, 220, 80, 90));
        glow.setColorAt(1, QColor(255, 220, 80, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(glow);
        p.drawEllipse(QPointF(8.0, 6.0), 8.0, 8.0);
    }

    QPainterPath glass;
    glass.addEllipse(QPointF(8.0, 5.8), 4.9, 4.9);
    QPainterPath neck;
    neck.addPolygon(QPolygonF(
        {QPointF(4.6, 8.8), QPointF(11.4, 8.8), QPointF(10.3, 11.2), QPointF(5.7, 11.2)}));
    neck.closeSubpath();
    glass = glass.united(neck);

    QRadialGradient fill(QPointF(6.6, 4.2), 7.0);
    if (lit) {
        fill.setColorAt(0, QColor(255, 255, 215));
        fill.setColorAt(0.5, QColor(255, 232, 80));
        fill.setColorAt(1, QColor(245, 190, 10));
        p.setPen(outline(QColor(165, 110, 0)));
    } else {
        fill.setColorAt(0, QColor(245, 245, 245));
        fill.setColorAt(0.6, QColor(212, 214, 218));
        fill.setColorAt(1, QColor(160, 164, 170));
        p.setPen(outline(QColor(100, 102, 108)));
    }
    p.setBrush(fill);
    p.drawPath(glass);

    // The filament.
    QPainterPath filament;
    filament.moveTo(7.0, 10.8);
    filament.lineTo(7.0, 8.2);
    filament.lineTo(7.5, 7.0);
    filament.lineTo(8.0, 8.0);
    filament.lineTo(8.5, 7.0);
    filament.lineTo(9.0, 8.2);
    filament.lineTo(9.0, 10.8);
    p.setBrush(Qt::NoBrush);
    p.setPen(outline(lit ? QColor(225, 120, 0) : QColor(100, 100, 106), 0.9));
    p.drawPath(filament);

    // The screw base and its contact.
    const QRectF base(5.5, 11.2, 5.0, 3.2);
    p.setPen(outline(QColor(70, 72, 78)));
    p.setBrush(
        verticalGradient(base.top(), base.bottom(), QColor(205, 208, 214), QColor(140, 144, 150)));
    p.drawRect(base);
    p.drawLine(QPointF(5.5, 12.8), QPointF(10.5, 12.8));
    p.setBrush(QColor(70, 72, 78));
    p.drawRoundedRect(QRectF(6.8, 14.4, 2.4, 1.1), 0.5, 0.5);
}

void drawLamp(QPainter &p, const QColor &light, const QColor &colour, const QColor &dark)
{
    // A round signal lamp in a dark bezel, lit from the upper left.
    p.setPen(Qt::NoPen);
    p.setBrush(verticalGradient(1.0, 15.0, QColor(150, 152, 158), QColor(60, 62, 68)));
    p.drawEllipse(QPointF(8.0, 8.0), 7.0, 7.0);

    QRadialGradient glass(QPointF(6.6, 6.2), 6.4, QPointF(6.0, 5.4));
    glass.setColorAt(0, light);
    glass.setColorAt(0.55, colour);
    glass.setColorAt(1, dark);
    p.setBrush(glass);
    p.setPen(outline(dark.darker(150), 0.8));
    p.drawEllipse(QPointF(8.0, 8.0), 5.4, 5.4);

    // A gloss spot, kept short of pure white.
    QRadialGradient gloss(QPointF(6.3, 5.6), 2.4);
    gloss.setColorAt(0, QColor(252, 252, 252, 230));
    gloss.setColorAt(1, QColor(252, 252, 252, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(gloss);
    p.drawEllipse(QPointF(6.3, 5.6), 2.4, 2.0);
}

void drawDoor(QPainter &p)
{
    // The door frame with daylight in the opening.
    const QRectF frame(1.5, 1.5, 8.5, 13.0);
    p.setPen(outline(QColor(70, 45, 20)));
    p.setBrush(verticalGradient(frame.top(), frame.bottom(), QColor(255, 246, 190),
                                QColor(250, 215, 110)));
    p.drawRect(frame);

    // The leaf swung open towards the viewer, hinged on the left.
    const QPolygonF leaf(
        {QPointF(1.5, 1.5), QPointF(6.5, 3.0), QPointF(6.5, 15.5), QPointF(1.5, 14.5)});
    QLinearGradient wood(1.5, 0, 6.5, 0);
    wood.setColorAt(0, QColor(170, 100, 45));
    wood.setColorAt(1, QColor(120, 65, 25));
    p.setBrush(wood);
    p.drawPolygon(leaf);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 215, 90));
    p.drawEllipse(QPointF(5.3, 9.0), 0.8, 0.8);

    // The way out.
    QPainterPath arrow;
    arrow.moveTo(8.0, 7.2);
    arrow.lineTo(11.5, 7.2);
    arrow.lineTo(11.5, 4.8);
    arrow.lineTo(15.5, 8.5);
    arrow.lineTo(11.5, 12.2);
    arrow.lineTo(11.5, 9.8);
    arrow.lineTo(8.0, 9.8);
    arrow.closeSubpath();
    p.setPen(outline(QColor(20, 100, 30)));
    p.setBrush(verticalGradient(4.8, 12.2, QColor(120, 220, 110), QColor(40, 150, 50)));
    p.drawPath(arrow);
}

void drawTools(QPainter &p)
{
    const QColor steelEdge(55, 58, 66);
    QLinearGradient steel(0, -3.5, 0, 3.5);
    steel.setColorAt(0, QColor(235, 237, 242));
    steel.setColorAt(1, QColor(135, 140, 150));

    // A screwdriver from the upper left, its handle at the lower right.
    p.save();
    p.translate(8.0, 8.0);
    p.rotate(45);
    p.setPen(outline(steelEdge));
    p.setBrush(steel);
    p.drawRect(QRectF(-7.5, -0.7, 8.5, 1.4));
    QLinearGradient handle(0, -2, 0, 2);
    handle.setColorAt(0, QColor(255, 110, 90));
    handle.setColorAt(1, QColor(180, 20, 20));
    p.setBrush(handle);
    p.setPen(outline(QColor(100, 10, 10)));
    p.drawRoundedRect(QRectF(1.0, -2.0, 7.0, 4.0), 1.6, 1.6);
    p.restore();

    // A spanner across it from the lower left, its open jaw at the upper right.
    p.save();
    p.translate(8.0, 8.0);
    p.rotate(-45);
    QPainterPath spanner;
    spanner.addRoundedRect(QRectF(-8.2, -1.5, 10.0, 3.0), 1.4, 1.4);
    spanner.addEllipse(QPointF(4.2, 0), 3.7, 3.7);
    spanner = spanner.simplified();
    QPainterPath jaw;
    jaw.addRect(QRectF(3.6, -1.4, 5.0, 2.8));
    spanner = spanner.subtracted(jaw);
    p.setBrush(steel);
    p.setPen(outline(steelEdge));
    p.drawPath(spanner);
    p.restore();
}

void drawBook(QPainter &p)
{
    // The page block shows under the cover.
    p.setPen(outline(QColor(90, 90, 90)));
    p.setBrush(OffWhite);
    p.drawRoundedRect(QRectF(3.5, 11.5, 10.5, 3.5), 0.8, 0.8);

    const QRectF cover(2.5, 1.0, 11.5, 12.5);
    QLinearGradient blue(cover.topLeft(), cover.bottomRight());
    blue.setColorAt(0, QColor(90, 150, 240));
    blue.setColorAt(1, QColor(25, 75, 175));
    p.setPen(outline(QColor(15, 40, 100)));
    p.setBrush(blue);
    p.drawRoundedRect(cover, 1.2, 1.2);
    // The spine.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(15, 50, 130));
    p.drawRect(QRectF(3.0, 1.5, 1.5, 11.5));

    // The question mark.
    QPainterPath question;
    question.moveTo(6.8, 5.2);
    question.cubicTo(6.8, 2.6, 11.4, 2.6, 11.4, 5.2);
    question.cubicTo(11.4, 6.9, 9.1, 7.0, 9.1, 8.9);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 240, 120), 1.7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(question);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 240, 120));
    p.drawEllipse(QPointF(9.1, 11.0), 1.0, 1.0);
}

QPolygonF sparkPolygon(const QPointF &centre, qreal outer, qreal inner)
{
    // A four-pointed star.
    QPolygonF star;
    for (int i = 0; i < 8; ++i) {
        const qreal r = i % 2 == 0 ? outer : inner;
        const qreal angle = i * std::numbers::pi / 4.0 - std::numbers::pi / 2.0;
        star << centre + QPointF(r * std::cos(angle), r * std::sin(angle));
    }
    return star;
}

void drawCard(QPainter &p)
{
    const QRectF card(0.5, 4.5, 12.5, 10.0);
    p.setPen(outline(QColor(85, 90, 100)));
    p.setBrush(
        verticalGradient(card.top(), card.bottom(), QColor(255, 255, 255), QColor(220, 228, 240)));
    p.drawRoundedRect(card, 1.2, 1.2);

    // Lines of writing.
    p.setPen(outline(QColor(60, 100, 170), 1.2));
    p.drawLine(QPointF(2.8, 8.0), QPointF(8.0, 8.0));
    p.setPen(outline(QColor(130, 140, 155), 1.0));
    p.drawLine(QPointF(2.8, 10.5), QPointF(10.5, 10.5));
    p.drawLine(QPointF(2.8, 12.6), QPointF(9.0, 12.6));

    // The spark over the upper right corner.
    p.setPen(outline(QColor(170, 110, 0)));
    QRadialGradient gold(QPointF(12.2, 4.0), 4.2);
    gold.setColorAt(0, QColor(255, 255, 200));
    gold.setColorAt(0.4, QColor(255, 225, 60));
    gold.setColorAt(1, QColor(245, 170, 0));
    p.setBrush(gold);
    p.drawPolygon(sparkPolygon(QPointF(12.2, 4.0), 4.2, 1.3));
}

void drawFilmStrip(QPainter &p)
{
    const QRectF strip(0.5, 2.5, 15.0, 11.0);
    p.setPen(outline(QColor(20, 20, 24)));
    p.setBrush(QColor(48, 48, 54));
    p.drawRect(strip);

    // Sprocket holes along both edges.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(235, 235, 235));
    for (qreal x = 1.6; x < 15.0; x += 3.0) {
        p.drawRect(QRectF(x, 3.5, 1.6, 1.4));
        p.drawRect(QRectF(x, 11.1, 1.6, 1.4));
    }

    // Two frames with a picture in each.
    for (qreal x : {1.8, 8.6}) {
        const QRectF frame(x, 5.8, 5.6, 4.4);
        QLinearGradient sky(0, frame.top(), 0, frame.bottom());
        sky.setColorAt(0, QColor(150, 205, 255));
        sky.setColorAt(1, QColor(80, 150, 230));
        p.setBrush(sky);
        p.drawRect(frame);
        p.setBrush(QColor(70, 160, 70));
        p.drawPolygon(QPolygonF({frame.bottomLeft(), QPointF(x + 2.0, frame.top() + 2.0),
                                 QPointF(x + 3.4, frame.top() + 3.2),
                                 QPointF(x + 4.4, frame.top() + 2.4), frame.bottomRight()}));
    }
}

void drawGlyphMotif(QPainter &p, Glyph glyph)
{
    switch (glyph) {
    case Glyph::Exit:
        drawDoor(p);
        break;
    case Glyph::Pswd:
        drawKey(p);
        break;
    case Glyph::Cfg:
        drawTools(p);
        break;
    case Glyph::Open:
        drawPadlock(p, false);
        break;
    case Glyph::Close:
        drawPadlock(p, true);
        break;
    case Glyph::Help:
        drawBook(p);
        break;
    case Glyph::About:
        drawCard(p);
        break;
    case Glyph::Test:
        drawFilmStrip(p);
        break;
    }
}

QImage normalGlyph(Glyph glyph, qreal dpr)
{
    const int side = qRound(GlyphSize * dpr);
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(dpr, dpr);
    p.translate(GlyphInset, GlyphInset);
    drawGlyphMotif(p, glyph);
    return image;
}

// The disabled look: the drawing in soft greys, with a white copy of its
// outline one pixel down and right, as if pressed into the button.
QImage disabledGlyph(const QImage &normal, qreal dpr)
{
    QImage grey(normal.size(), QImage::Format_ARGB32);
    QImage highlight(normal.size(), QImage::Format_ARGB32);
    const QImage source = normal.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < source.height(); ++y) {
        const QRgb *in = reinterpret_cast<const QRgb *>(source.constScanLine(y));
        QRgb *out = reinterpret_cast<QRgb *>(grey.scanLine(y));
        QRgb *light = reinterpret_cast<QRgb *>(highlight.scanLine(y));
        for (int x = 0; x < source.width(); ++x) {
            const int alpha = qAlpha(in[x]);
            const int level = 112 + qGray(in[x]) * 100 / 255;
            out[x] = qRgba(level, level, level, alpha);
            light[x] = qRgba(255, 255, 255, alpha);
        }
    }

    QImage result(normal.size(), QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    QPainter p(&result);
    const int offset = qMax(1, qRound(dpr));
    p.drawImage(offset, offset, highlight);
    p.drawImage(0, 0, grey);
    return result;
}

} // namespace

QPixmap glyphPixmap(Glyph glyph, bool enabled, qreal devicePixelRatio)
{
    const qreal dpr = qMax<qreal>(1.0, devicePixelRatio);
    QImage image = normalGlyph(glyph, dpr);
    if (!enabled)
        image = disabledGlyph(image, dpr);
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(dpr);
    return pixmap;
}

QIcon glyphIcon(Glyph glyph)
{
    QIcon icon;
    for (qreal dpr : {1.0, 2.0}) {
        icon.addPixmap(glyphPixmap(glyph, true, dpr), QIcon::Normal);
        icon.addPixmap(glyphPixmap(glyph, false, dpr), QIcon::Disabled);
    }
    return icon;
}

StatusImageList::StatusImageList()
{
    for (int index = 0; index < Count; ++index) {
        QImage image(Size, Size, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        switch (index) {
        case ImageKey:
            drawKey(p);
            break;
        case ImageOpenPadlock:
            drawPadlock(p, false);
            break;
        case ImageClosedPadlock:
            drawPadlock(p, true);
            break;
        case ImageUnlitBulb:
            drawBulb(p, false);
            break;
        case ImageLitBulb:
            drawBulb(p, true);
            break;
        case ImageRedLamp:
            drawLamp(p, QColor(255, 150, 140), QColor(225, 30, 25), QColor(130, 0, 0));
            break;
        case ImageYellowLamp:
            drawLamp(p, QColor(255, 250, 170), QColor(250, 205, 0), QColor(175, 130, 0));
            break;
        case ImageGreenLamp:
            drawLamp(p, QColor(170, 250, 160), QColor(35, 180, 45), QColor(10, 95, 20));
            break;
        }
        p.end();
        images[index] = image;
    }
}

QImage StatusImageList::image(int index) const
{
    if (index < 0 || index >= Count)
        return QImage();
    return images[index];
}

void drawImageWhiteTransparent(QPainter &canvas, const QPoint &topLeft, const QImage &image)
{
    if (image.isNull())
        return;
    // Each image is masked once: the status bar draws the same few images
    // again and again.
    const QString key = QStringLiteral("hollvan-white-transparent-%1").arg(image.cacheKey());
    QPixmap pixmap;
    if (!QPixmapCache::find(key, &pixmap)) {
        pixmap = QPixmap::fromImage(image);
        pixmap.setMask(pixmap.createMaskFromColor(Qt::white));
        QPixmapCache::insert(key, pixmap);
    }
    canvas.drawPixmap(topLeft, pixmap);
}
