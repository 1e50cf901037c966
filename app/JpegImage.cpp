#include "app/JpegImage.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace {

// Larger pictures than this are refused before any pixel memory is taken, so
// a damaged header cannot make us allocate gigabytes.
constexpr JDIMENSION maxSide = 8192;

struct DecodeErrors
{
    jpeg_error_mgr manager;
    std::jmp_buf escape;
};

[[noreturn]] void abandonDecoding(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<DecodeErrors *>(info->err)->escape, 1);
}

// libjpeg reports damaged data as a warning and goes on with grey filler;
// a half-grey picture is no better than none, so a warning ends decoding too.
void onMessage(j_common_ptr info, int level)
{
    if (level < 0)
        abandonDecoding(info);
}

void discardMessage(j_common_ptr) { }

// The only frame that longjmp returns to. It owns nothing with a destructor:
// the image lives in the caller's frame and is reached through a pointer, so
// its state after an escape is well defined.
bool runDecoder(const QByteArray &bytes, QImage *image)
{
    jpeg_decompress_struct info {};
    DecodeErrors errors {};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = abandonDecoding;
    errors.manager.emit_message = onMessage;
    errors.manager.output_message = discardMessage;

    if (setjmp(errors.escape) != 0) {
        jpeg_destroy_decompress(&info);
        return false;
    }

    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char *>(bytes.constData()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    if (info.image_width == 0 || info.image_height == 0 || info.image_width > maxSide
        || info.image_height > maxSide) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    if (info.output_components != 3) {
        jpeg_destroy_decompress(&info);
        return false;
    }

    *image = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height),
                    QImage::Format_RGB888);
    if (image->isNull()) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image->scanLine(static_cast<int>(info.output_scanline));
        if (jpeg_read_scanlines(&info, &row, 1) != 1) {
            jpeg_destroy_decompress(&info);
            return false;
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

} // namespace

QImage decodeJpeg(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return {};
    QImage image;
    if (!runDecoder(bytes, &image))
        return {};
    return image;
}
