#include "Banner.h"

#include <QFile>
#include <QPainter>

#include <cmath>
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace kv {
namespace {

// libjpeg's default error handler ends the process; this one jumps back to the decoder
// instead, so that a damaged picture only gives no picture.
struct JpegError
{
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void JumpOnError(j_common_ptr info)
{
    auto* error = reinterpret_cast<JpegError*>(info->err);
    std::longjmp(error->jump, 1);
}

// Warnings (for example a corrupt stretch of data that libjpeg can skip) are not shown.
void IgnoreMessage(j_common_ptr) {}

// The decoding proper. Kept free of objects with destructors, because longjmp skips them;
// the caller owns the image, which is only written row by row.
bool Decode(const unsigned char* data, unsigned long size, QImage* image)
{
    jpeg_decompress_struct info;
    JpegError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = JumpOnError;
    error.manager.output_message = IgnoreMessage;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, size);
    jpeg_read_header(&info, TRUE);
    // Greyscale and YCbCr pictures become RGB; CMYK ones make libjpeg raise an error.
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    if (info.output_components != 3) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    *image = QImage(int(info.output_width), int(info.output_height), QImage::Format_RGB888);
    if (image->isNull()) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image->scanLine(int(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

} // namespace

QByteArray BannerBytes()
{
    QFile file(QStringLiteral(":/keyvora/banner.jpg"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QImage DecodeJpeg(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return {};
    QImage image;
    if (!Decode(reinterpret_cast<const unsigned char*>(bytes.constData()),
                static_cast<unsigned long>(bytes.size()), &image))
        return {};
    return image;
}

QRect PicturePlacement(const QSize& box, const QSize& picture)
{
    if (box.isEmpty() || picture.isEmpty())
        return {};
    QSize drawn = picture;
    if (picture.width() > box.width() || picture.height() > box.height()) {
        const double ratio = std::min(double(box.width()) / picture.width(),
                                      double(box.height()) / picture.height());
        drawn = QSize(std::max(1, int(std::lround(picture.width() * ratio))),
                      std::max(1, int(std::lround(picture.height() * ratio))));
    }
    return QRect(QPoint((box.width() - drawn.width()) / 2, (box.height() - drawn.height()) / 2),
                 drawn);
}

PictureBox::PictureBox(QWidget* parent, const char* name, const QRect& geometry) : QWidget(parent)
{
    setObjectName(QString::fromUtf8(name));
    setGeometry(geometry);
    setFocusPolicy(Qt::NoFocus);
}

void PictureBox::SetPicture(const QImage& picture)
{
    picture_ = picture;
    update();
}

void PictureBox::paintEvent(QPaintEvent*)
{
    if (picture_.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(PicturePlacement(size(), picture_.size()), picture_);
}

} // namespace kv
