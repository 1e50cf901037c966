#pragma once

#include <QColor>
#include <QImage>
#include <QRect>

#include <functional>

// Counts the pixels of image (inside area, when given) whose colour passes test.
inline int countPixels(const QImage &image, const std::function<bool(const QColor &)> &test,
                       QRect area = QRect())
{
    if (area.isNull())
        area = image.rect();
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (test(image.pixelColor(x, y)))
                ++count;
    return count;
}

// A clearly coloured pixel, as opposed to greys, near-white and near-black.
inline bool isVivid(const QColor &c)
{
    return c.alpha() > 128 && c.hsvSaturation() > 100 && c.value() > 80;
}

inline bool hueWithin(const QColor &c, int from, int to)
{
    const int hue = c.hsvHue();
    return from <= to ? hue >= from && hue <= to : hue >= from || hue <= to;
}
