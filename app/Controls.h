// Small controls the forms declare: a label that takes the size of its text,
// and the scrolled client area of a window; and the repaint of a whole window.
#pragma once

#include <QLabel>
#include <QString>
#include <QWidget>

// A label that, while AutoSize is on, takes the size its text needs whenever
// the text changes, growing from its top-left corner, so that no text is
// ever clipped; never smaller than its minimum size (a status panel keeps
// its declared width and grows only for a longer text).
class TLabel : public QLabel {
    Q_OBJECT
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE SetAutoSize)
public:
    explicit TLabel(QWidget* parent = nullptr) : QLabel(parent) {}

    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool on);

    // Hides QLabel::setText, so that every text the program or its form sets
    // resizes the label.
    void setText(const QString& text);

private:
    void Fit();

    bool autoSize_ = true;
};

// The client area of a window inside its scroll area: always as large as the
// controls it holds reach, so that the scroll area shows scroll bars as soon
// as a control extends past the window. The wheel scrolls; with Shift it
// scrolls sideways.
class TClientArea : public QWidget {
    Q_OBJECT
public:
    explicit TClientArea(QWidget* parent = nullptr) : QWidget(parent) {}

protected:
    void childEvent(QChildEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void Fit();
};

// Draws the window and every control on it before returning. Qt keeps each
// control's pixels in the window's buffer and redraws a window without the
// opaque controls on it (a scroll area is one), so each control is marked
// first; the window's repaint then draws them all.
void RepaintWindow(QWidget* window);
