// The image control: shows a TPicture at its top-left corner, at natural size
// or stretched to the control, and reports mouse moves in its own pixels.
#pragma once

#include "image/Graphics.h"

#include <QImage>
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

signals:
    // The pointer moved over the control; X and Y in the control's pixels.
    void MouseMove(Qt::KeyboardModifiers Shift, int X, int Y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void PictureChanged();
    const QImage& Drawable();

    TPicture picture_;
    bool autoSize_ = false;
    bool stretch_ = false;
    // A drawable copy of an 8-bit or alpha picture, remade only when the
    // bitmap's pixels changed (32-bit pictures without alpha are drawn as
    // they are).
    QImage drawable_;
    qint64 drawableKey_ = 0;
};
