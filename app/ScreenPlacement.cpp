#include "ScreenPlacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace {

// One side: the start and length of a span moved into [begin, begin + room).
void Fit(int& start, int& length, int begin, int room)
{
    length = std::min(length, room);
    start = std::clamp(start, begin, begin + room - length);
}

class TScreenKeeper : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* window = qobject_cast<QWidget*>(watched);
        if (window && event->type() == QEvent::Show && window->isWindow())
            Place(window);
        return false;
    }

private:
    static void Place(QWidget* window)
    {
        const QRect frame = window->frameGeometry();
        const QScreen* screen = QGuiApplication::screenAt(frame.topLeft());
        if (!screen)
            screen = window->screen();
        if (!screen)
            return;
        const QRect placed = PlacedInside(frame, screen->availableGeometry());
        if (placed == frame)
            return;
        // The frame's margins stay as they are; the window inside follows.
        const QRect inside = window->geometry();
        window->resize(inside.width() - (frame.width() - placed.width()),
                       inside.height() - (frame.height() - placed.height()));
        window->move(placed.topLeft());
    }
};

} // namespace

QRect PlacedInside(const QRect& frame, const QRect& area)
{
    int x = frame.x(), y = frame.y(), width = frame.width(), height = frame.height();
    Fit(x, width, area.x(), area.width());
    Fit(y, height, area.y(), area.height());
    return QRect(x, y, width, height);
}

void KeepOnScreen(QWidget* window) { window->installEventFilter(new TScreenKeeper(window)); }
