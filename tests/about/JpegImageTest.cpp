#include "app/JpegImage.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSet>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

static QByteArray aboutPictureBytes()
{
    Q_INIT_RESOURCE(about);
    QFile file(QStringLiteral(":/about/lake.jpg"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

namespace {

// Encodes width x height samples (3 per pixel for RGB, 1 for grey) with
// libjpeg at full quality, so the decoder is checked against known pixels.
QByteArray encodeJpeg(int width, int height, bool grey, const std::vector<unsigned char> &samples)
{
    jpeg_compress_struct info {};
    jpeg_error_mgr errors {};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = grey ? 1 : 3;
    info.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    jpeg_start_compress(&info, TRUE);
    const int stride = width * info.input_components;
    while (info.next_scanline < info.image_height) {
        auto row = const_cast<JSAMPROW>(samples.data() + info.next_scanline * stride);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    QByteArray bytes(reinterpret_cast<const char *>(buffer), static_cast<qsizetype>(size));
    std::free(buffer);
    return bytes;
}

struct Rgb
{
    int r, g, b;
};

Rgb pixelAt(const QImage &image, int x, int y)
{
    const uchar *p = image.constScanLine(y) + 3 * x;
    return {p[0], p[1], p[2]};
}

} // namespace

TEST(JpegImage, AboutPictureIsTheLakeLandscape)
{
    const QByteArray bytes = aboutPictureBytes();
    ASSERT_FALSE(bytes.isEmpty());
    const QImage image = decodeJpeg(bytes);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(200, 140));
    EXPECT_EQ(image.format(), QImage::Format_RGB888);

    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            colours.insert(image.pixel(x, y));
    EXPECT_GT(colours.size(), 100);

    // Channel order: the sky at the top is a deep blue, the sun on the right
    // of the horizon a pale yellow.
    const Rgb sky = pixelAt(image, 2, 2);
    EXPECT_GT(sky.b, sky.r + 40);
    const Rgb sun = pixelAt(image, 186, 40);
    EXPECT_GT(sun.r, sun.b + 40);
}

// Odd widths give scan lines that are padded in the image but not in the
// decoder's output; flat colour blocks survive JPEG nearly unchanged.
TEST(JpegImage, DecodesKnownPixelsOfColourAndGreyPictures)
{
    const int width = 13, height = 9;
    const Rgb blocks[2] = {{220, 30, 40}, {20, 60, 200}};
    std::vector<unsigned char> rgb, grey;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Rgb c = blocks[x < 8 ? 0 : 1];
            rgb.insert(rgb.end(),
                       {static_cast<unsigned char>(c.r), static_cast<unsigned char>(c.g),
                        static_cast<unsigned char>(c.b)});
            grey.push_back(y < 8 ? 40 : 210);
        }
    }

    const QImage colour = decodeJpeg(encodeJpeg(width, height, false, rgb));
    ASSERT_FALSE(colour.isNull());
    EXPECT_EQ(colour.size(), QSize(width, height));
    for (int y = 0; y < height; ++y) {
        for (int x : {0, 3, 6, 9, 12}) {
            const Rgb want = blocks[x < 8 ? 0 : 1];
            const Rgb got = pixelAt(colour, x, y);
            EXPECT_NEAR(got.r, want.r, 12) << x << "," << y;
            EXPECT_NEAR(got.g, want.g, 12) << x << "," << y;
            EXPECT_NEAR(got.b, want.b, 12) << x << "," << y;
        }
    }

    const QImage greyImage = decodeJpeg(encodeJpeg(width, height, true, grey));
    ASSERT_FALSE(greyImage.isNull());
    EXPECT_EQ(greyImage.format(), QImage::Format_RGB888);
    for (int x = 0; x < width; ++x) {
        const Rgb top = pixelAt(greyImage, x, 0);
        const Rgb bottom = pixelAt(greyImage, x, 8);
        EXPECT_EQ(top.r, top.g);
        EXPECT_EQ(top.g, top.b);
        EXPECT_NEAR(top.r, 40, 6);
        EXPECT_NEAR(bottom.r, 210, 6);
    }
}

TEST(JpegImage, CorruptDataGivesANullImage)
{
    const QByteArray picture = aboutPictureBytes();
    ASSERT_FALSE(picture.isEmpty());

    QByteArray wrongMarker = picture;
    wrongMarker[1] = char(0xC4);
    QByteArray bogusTables = picture;
    for (int i = 4; i < 40; ++i)
        bogusTables[i] = char(0xFF);
    QByteArray hugeFrame = picture;
    const qsizetype frame = hugeFrame.indexOf(QByteArray("\xFF\xC0", 2));
    ASSERT_GE(frame, 0);
    hugeFrame[frame + 5] = char(0x50); // height and width above 20 000
    hugeFrame[frame + 7] = char(0x50);

    const struct
    {
        const char *name;
        QByteArray bytes;
    } cases[] = {
        {"empty", QByteArray()},
        {"not a picture", QByteArray("Hollvan dla ZMT")},
        {"start marker only", QByteArray("\xFF\xD8", 2)},
        {"wrong first marker", wrongMarker},
        {"header overwritten", bogusTables},
        {"cut after the header", picture.left(picture.size() / 8)},
        {"cut in the middle", picture.left(picture.size() / 2)},
        {"frame of 20 000 lines", hugeFrame},
    };
    for (const auto &c : cases)
        EXPECT_TRUE(decodeJpeg(c.bytes).isNull()) << c.name;
}
