// The image control: shows a TPicture at its top-left corner, at natural size
// or stretched to the control, and reports mouse moves in its own pixels.
#pragma once

#include "image/Graphics.h"

#include <QImage>
#include <QPoint>
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

    // The bitmap pixel drawn at a position of the control (the top-left one
    // of those averaged into a reduced view's pixel). Positions where no
    // pixel is drawn give a point outside the bitmap.
    QPoint BitmapPoint(QPoint at) const;

signals:
    // The pointer moved over the control; X and Y in the control's pixels.
    void MouseMove(Qt::KeyboardModifiers Shift, int X, int Y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void PictureChanged();
    // Where the picture is drawn in the control.
    QRect DrawnRect() const;
    // Makes view_ hold the drawn pixels of area (control coordinates).
    void Render(const QRect& area);
    // The same for a view that is still current but covers another part of
    // the control (after scrolling): only the pixels it lacks are drawn.
    void Extend(const QRect& area);
    // Draws the control pixels of area into view, whose top-left pixel is the
    // control pixel origin.
    void Draw(const QRect& area, QImage& view, QPoint origin) const;

    TPicture picture_;
    bool autoSize_ = false;
    bool stretch_ = false;
    // The drawn pixels of the visible part of the control, remade only when
    // the bitmap's pixels, the control's size or the stretch changed; a paint
    // that reaches past it (scrolling) draws only what it lacks.
    QImage view_;
    QRect viewRect_;
    QSize viewSize_;
    qint64 viewKey_ = 0;
    bool viewStretch_ = false;
    bool viewValid_ = false;
};
