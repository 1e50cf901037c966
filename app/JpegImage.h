#pragma once

#include <QByteArray>
#include <QImage>

// Decodes a JPEG held in memory with libjpeg into an RGB888 image. Corrupt,
// truncated or unsupported data gives a null image; the decoder never prints
// or ends the process.
QImage decodeJpeg(const QByteArray &bytes);
