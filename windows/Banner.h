#pragma once

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QWidget>

namespace kv {

// The login window's banner picture as the program carries it (JPEG bytes).
QByteArray BannerBytes();

// Decodes JPEG bytes into an RGB bitmap with libjpeg. A damaged, truncated or
// unsupported picture gives a null image; it never ends the program.
QImage DecodeJpeg(const QByteArray& bytes);

// Where a picture box draws a picture: centred in the box; a picture larger than the
// box in either direction is first scaled down, keeping its proportions, by the smaller
// of the two ratios box / picture; a picture is never enlarged.
QRect PicturePlacement(const QSize& box, const QSize& picture);

// A borderless picture box that draws its picture by PicturePlacement.
class PictureBox : public QWidget
{
    Q_OBJECT
public:
    PictureBox(QWidget* parent, const char* name, const QRect& geometry);

    void SetPicture(const QImage& picture);
    const QImage& Picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
};

} // namespace kv
