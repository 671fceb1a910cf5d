#include "ScreenPlacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace {

// One side: the start of a span moved into [begin, begin + room); a span
// longer than the room starts where the room does.
int Fit(int start, int length, int begin, int room)
{
    return std::max(begin, std::min(start, begin + room - length));
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
        window->move(placed.topLeft());
    }
};

} // namespace

QRect PlacedInside(const QRect& frame, const QRect& area)
{
    return QRect(QPoint(Fit(frame.x(), frame.width(), area.x(), area.width()),
                        Fit(frame.y(), frame.height(), area.y(), area.height())),
                 frame.size());
}

void KeepOnScreen(QWidget* window) { window->installEventFilter(new TScreenKeeper(window)); }
