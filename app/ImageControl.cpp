#include "ImageControl.h"

#include <QMouseEvent>
#include <QPainter>

TImage::TImage(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    picture_.OnChange = [this] { PictureChanged(); };
}

void TImage::SetAutoSize(bool on)
{
    autoSize_ = on;
    if (on && !picture_.Bitmap()->Empty())
        resize(picture_.Bitmap()->Width(), picture_.Bitmap()->Height());
}

void TImage::SetStretch(bool on)
{
    if (stretch_ == on)
        return;
    stretch_ = on;
    update();
}

void TImage::PictureChanged()
{
    if (autoSize_)
        resize(picture_.Bitmap()->Width(), picture_.Bitmap()->Height());
    update();
}

const QImage& TImage::Drawable()
{
    const QImage& image = picture_.Bitmap()->Image();
    if (image.format() == QImage::Format_RGB32)
        return image;
    if (drawableKey_ != image.cacheKey() || drawable_.isNull()) {
        drawable_ = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                                  : QImage::Format_RGB32);
        drawableKey_ = image.cacheKey();
    }
    return drawable_;
}

void TImage::paintEvent(QPaintEvent*)
{
    if (picture_.Bitmap()->Empty()) {
        drawable_ = QImage();
        return;
    }
    const QImage& image = Drawable();
    QPainter painter(this);
    if (stretch_) {
        // Enlarged views show each pixel as a sharp block; reduced ones smooth.
        const bool reduced = width() < image.width() || height() < image.height();
        painter.setRenderHint(QPainter::SmoothPixmapTransform, reduced);
        painter.drawImage(rect(), image);
    } else {
        painter.drawImage(0, 0, image);
    }
}

void TImage::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    emit MouseMove(event->modifiers(), at.x(), at.y());
}
