// The image control: shows a TPicture at its top-left corner, at natural size
// or stretched to the control, and reports mouse moves in its own pixels.
// The view is drawn in device pixels: at any display scale each bitmap pixel
// covers a whole block of device pixels, or a reduced view averages the
// bitmap into device pixels, and the pointer is mapped through the same
// placement.
#pragma once

#include "image/bitmap/Graphics.h"

#include <QImage>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QSize>
#include <QWidget>

class TImage : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE SetAutoSize)
    Q_PROPERTY(bool Stretch READ Stretch WRITE SetStretch)
public:
    explicit TImage(QWidget* parent = nullptr);

    TPicture* Picture() { return &picture_; }
    TCanvas* Canvas() { return picture_.Bitmap()->Canvas(); }

    // When on, the control takes the picture's size whenever it changes.
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool on);
    // When on, the picture is drawn scaled to fill the control.
    bool Stretch() const { return stretch_; }
    void SetStretch(bool on);

    // The bitmap pixel drawn on the device pixel under a position of the
    // control (logical, as events give it): the top-left one of those
    // averaged into a reduced view's pixel. Positions where no pixel is drawn
    // give a point outside the bitmap.
    QPoint BitmapPoint(QPointF at) const;
    // The same for the device pixel (X, Y) of the control, (0, 0) at its
    // top-left corner.
    QPoint BitmapPixel(QPoint device) const;
    // The device pixel of the control under a position of it.
    QPoint DevicePixel(QPointF at) const;
    // Whether the device pixel under a position of the control is one of the
    // control's own, in sight.
    bool Covers(QPointF at) const;
    // The bitmap pixel under the pointer when the control reports the move
    // to (X, Y): the exact position of that move while it is delivered,
    // otherwise the top-left corner of the control pixel (X, Y).
    QPoint PixelUnderPointer(int X, int Y) const;

    // Qt chooses the control under the pointer by its position rounded to a
    // whole logical pixel. On a scaled display the pointer can be over the
    // last device column or row of a picture while the rounded position lies
    // beside it: a move without buttons Qt gave such a neighbour is handed
    // here to the picture whose device pixel is under the pointer, so that
    // every device pixel it draws is probed. True when it was.
    static bool DeliverToPictureUnderPointer(QObject* receiver, QEvent* event);

signals:
    // The pointer moved over the control; X and Y in the control's pixels.
    void MouseMove(Qt::KeyboardModifiers Shift, int X, int Y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void PictureChanged();
    // Where the picture is drawn in the control, in logical pixels.
    QRect DrawnRect() const;
    // The device pixels the picture covers at a scale, (0, 0) at the
    // control's top-left device pixel.
    QSize DrawnDeviceSize(qreal scale) const;
    // The control's top-left device pixel in its window.
    QPoint DeviceOrigin(qreal scale) const;
    // Makes view_ hold the drawn pixels of area (control device pixels).
    void Render(const QRect& area, qreal scale);
    // The same for a view that is still current but covers another part of
    // the control (after scrolling): only the pixels it lacks are drawn.
    void Extend(const QRect& area);

    TPicture picture_;
    bool autoSize_ = false;
    bool stretch_ = false;
    // The drawn device pixels of the visible part of the control, remade
    // only when the bitmap's pixels, the control's size, the stretch or the
    // display scale changed; a paint that reaches past it (scrolling) draws
    // only what it lacks.
    QImage view_;
    QRect viewRect_;
    QSize viewSize_;
    qreal viewScale_ = 0;
    QSize deviceSize_;
    qint64 viewKey_ = 0;
    bool viewStretch_ = false;
    bool viewValid_ = false;
    // The position of the mouse move being reported, while it is.
    QPointF pointer_;
    bool reporting_ = false;
};
