#include "ImageControl.h"

#include "image/view/BoxView.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace {

// The device size of a logical size: Qt gives a control of width w at scale s
// the round(w * s) device pixels from the one nearest its corner.
QSize DeviceSize(QSize logical, qreal scale)
{
    return QSize(qRound(logical.width() * scale), qRound(logical.height() * scale));
}

// The device pixels a logical rectangle touches.
QRect Outward(const QRect& logical, qreal scale)
{
    if (logical.isEmpty())
        return {};
    const int left = int(std::floor(logical.left() * scale));
    const int top = int(std::floor(logical.top() * scale));
    return QRect(QPoint(left, top), QPoint(int(std::ceil((logical.right() + 1) * scale)) - 1,
                                           int(std::ceil((logical.bottom() + 1) * scale)) - 1));
}

} // namespace

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

QPoint TImage::DeviceOrigin(qreal scale) const
{
    return (QPointF(mapTo(window(), QPoint())) * scale).toPoint();
}

QPoint TImage::DevicePixel(QPointF at) const
{
    // The pointer's device position in the window, taken down to a whole
    // device pixel. Pointers stand on whole device pixels, but the logical
    // position the platform gives may come back short of that pixel: a
    // hair from rounding, or a quarter of a device pixel on X11 at display
    // scales such as 1.25 and 1.5. The margin keeps such a position on the
    // pixel it stands on.
    const qreal scale = devicePixelRatioF();
    const QPointF device = (QPointF(mapTo(window(), QPoint())) + at) * scale;
    constexpr qreal margin = 0.3; // device pixels
    return QPoint(int(std::floor(device.x() + margin)), int(std::floor(device.y() + margin))) -
           DeviceOrigin(scale);
}

bool TImage::Covers(QPointF at) const
{
    if (!isVisible() || !QRect(QPoint(), DeviceSize(size(), devicePixelRatioF())).contains(DevicePixel(at)))
        return false;
    const QPoint pixel(std::clamp(int(std::floor(at.x())), 0, width() - 1),
                       std::clamp(int(std::floor(at.y())), 0, height() - 1));
    return visibleRegion().contains(pixel);
}

QPoint TImage::BitmapPixel(QPoint device) const
{
    const TBitmap& bitmap = *picture_.Bitmap();
    const qreal scale = devicePixelRatioF();
    const QSize drawn = DrawnDeviceSize(scale);
    if (bitmap.Empty() || drawn.isEmpty())
        // Nothing drawn: the control pixel under the device pixel.
        return QPoint(int(std::floor(device.x() / scale)), int(std::floor(device.y() / scale)));
    return QPoint(FirstShownPixel(device.x(), bitmap.Width(), drawn.width()),
                  FirstShownPixel(device.y(), bitmap.Height(), drawn.height()));
}

QPoint TImage::BitmapPoint(QPointF at) const { return BitmapPixel(DevicePixel(at)); }

QPoint TImage::PixelUnderPointer(int X, int Y) const
{
    if (reporting_ && int(std::floor(pointer_.x())) == X && int(std::floor(pointer_.y())) == Y)
        return BitmapPoint(pointer_);
    return BitmapPoint(QPointF(X, Y));
}

bool TImage::DeliverToPictureUnderPointer(QObject* receiver, QEvent* event)
{
    auto* widget = qobject_cast<QWidget*>(receiver);
    const auto* move = static_cast<const QMouseEvent*>(event);
    if (!widget || qobject_cast<TImage*>(widget) || move->buttons() != Qt::NoButton)
        return false;
    for (TImage* image : widget->window()->findChildren<TImage*>()) {
        const QPointF at = move->scenePosition() - QPointF(image->mapTo(image->window(), QPoint()));
        if (image->window() == widget->window() && image->Covers(at)) {
            QMouseEvent moved(QEvent::MouseMove, at, move->scenePosition(), move->globalPosition(), Qt::NoButton,
                              Qt::NoButton, move->modifiers(), move->pointingDevice());
            QApplication::sendEvent(image, &moved);
            return true;
        }
    }
    return false;
}

void TImage::PictureChanged()
{
    viewValid_ = false;
    if (autoSize_)
        resize(picture_.Bitmap()->Width(), picture_.Bitmap()->Height());
    update();
}

QRect TImage::DrawnRect() const
{
    const TBitmap& bitmap = *picture_.Bitmap();
    return stretch_ ? rect() : QRect(0, 0, bitmap.Width(), bitmap.Height());
}

QSize TImage::DrawnDeviceSize(qreal scale) const { return DeviceSize(DrawnRect().size(), scale); }

void TImage::Render(const QRect& area, qreal scale)
{
    const TBitmap& bitmap = *picture_.Bitmap();
    viewKey_ = bitmap.ChangeKey();
    viewSize_ = size();
    viewStretch_ = stretch_;
    viewScale_ = scale;
    deviceSize_ = DrawnDeviceSize(scale);
    viewValid_ = true;
    view_ = QImage(area.size(),
                   bitmap.Image().hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    viewRect_ = view_.isNull() ? QRect() : area;
    if (!view_.isNull())
        DrawBoxView(bitmap, deviceSize_, area, view_, area.topLeft());
}

void TImage::Extend(const QRect& area)
{
    // Scrolling brings a strip into view: the pixels still in sight come
    // from the view as it is, only the strip is drawn.
    QImage next(area.size(), view_.format());
    if (next.isNull()) {
        Render(area, viewScale_);
        return;
    }
    const QRect kept = viewRect_ & area;
    const qsizetype keptBytes = qsizetype(kept.width()) * 4;
    for (int y = kept.top(); y <= kept.bottom() && keptBytes > 0; ++y)
        std::memcpy(next.scanLine(y - area.top()) + (kept.left() - area.left()) * 4,
                    view_.constScanLine(y - viewRect_.top()) + (kept.left() - viewRect_.left()) * 4,
                    size_t(keptBytes));
    for (const QRect& part : QRegion(area) - QRegion(kept))
        DrawBoxView(*std::as_const(picture_).Bitmap(), deviceSize_, part, next, area.topLeft());
    view_ = std::move(next);
    viewRect_ = area;
}

void TImage::paintEvent(QPaintEvent* event)
{
    const TBitmap& bitmap = *std::as_const(picture_).Bitmap();
    if (bitmap.Empty()) {
        view_ = QImage();
        viewValid_ = false;
        return;
    }
    QPainter painter(this);
    // The scale and the control's place on the device as this paint sees
    // them: the window's, or those of whatever the control is rendered into.
    const QTransform toDevice = painter.deviceTransform();
    const qreal scale = toDevice.m11();
    if (scale <= 0)
        return;
    const QRect drawn = QRect(QPoint(), DrawnDeviceSize(scale)) & QRect(QPoint(), DeviceSize(size(), scale));
    const QRect wanted = Outward(event->rect(), scale) & drawn;
    if (wanted.isEmpty())
        return;
    const QRect visible = (Outward(visibleRegion().boundingRect(), scale) | wanted) & drawn;
    if (!viewValid_ || viewKey_ != bitmap.ChangeKey() || viewSize_ != size() || viewStretch_ != stretch_ ||
        viewScale_ != scale || viewRect_.isEmpty())
        Render(visible, scale);
    else if (!viewRect_.contains(wanted))
        Extend(visible);
    // One view pixel on one device pixel: the painter is set to device
    // pixels, and the view starts on the device pixel nearest the control's
    // corner, where Qt starts the control's own pixels.
    const QPointF corner = toDevice.map(QPointF(0, 0));
    painter.setWorldTransform(QTransform::fromScale(1 / scale, 1 / scale));
    painter.drawImage(QPointF(corner.toPoint() + viewRect_.topLeft()) - corner, view_);
}

void TImage::mouseMoveEvent(QMouseEvent* event)
{
    // Qt gives a control the pointer's position rounded to a whole logical
    // pixel; its position in the window keeps the fraction a scaled display
    // has. (A move sent to the control itself may name no window position:
    // then its own position stands.)
    QPointF at = event->position();
    const QPointF inWindow = event->scenePosition() - QPointF(mapTo(window(), QPoint()));
    if (std::abs(inWindow.x() - at.x()) < 1 && std::abs(inWindow.y() - at.y()) < 1)
        at = inWindow;
    // The handler asks for the pixel under the pointer while the move is
    // reported: it gets the exact position, not only the whole control
    // pixel the move names.
    struct Reporting {
        TImage& image;
        Reporting(TImage& on, QPointF position) : image(on) { image.pointer_ = position, image.reporting_ = true; }
        ~Reporting() { image.reporting_ = false; }
    } reporting(*this, at);
    emit MouseMove(event->modifiers(), int(std::floor(at.x())), int(std::floor(at.y())));
}
