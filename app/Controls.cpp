#include "Controls.h"

#include <QAbstractScrollArea>
#include <QChildEvent>
#include <QCoreApplication>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>

void TLabel::SetAutoSize(bool on)
{
    autoSize_ = on;
    Fit();
}

void TLabel::setText(const QString& text)
{
    QLabel::setText(text);
    Fit();
}

void TLabel::Fit()
{
    if (autoSize_)
        resize(sizeHint());
}

void TClientArea::childEvent(QChildEvent* event)
{
    QWidget::childEvent(event);
    if (event->added() && event->child()->isWidgetType())
        event->child()->installEventFilter(this);
    if (event->added() || event->removed())
        Fit();
}

bool TClientArea::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
        Fit();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void TClientArea::Fit()
{
    // childrenRect leaves hidden controls out (the dialog components).
    const QRect reach = childrenRect();
    resize(std::max(0, reach.right() + 1), std::max(0, reach.bottom() + 1));
}

void TClientArea::wheelEvent(QWheelEvent* event)
{
    // The scroll area's own handling of the wheel scrolls up and down; Shift
    // turns a vertical turn of the wheel into a sideways scroll.
    auto* area = parentWidget() ? qobject_cast<QAbstractScrollArea*>(parentWidget()->parentWidget()) : nullptr;
    if (!area || !(event->modifiers() & Qt::ShiftModifier) || event->angleDelta().y() == 0) {
        event->ignore();
        return;
    }
    QWheelEvent sideways(event->position(), event->globalPosition(), event->pixelDelta(), event->angleDelta(),
                         event->buttons(), event->modifiers() & ~Qt::ShiftModifier, event->phase(), event->inverted(),
                         event->source());
    QCoreApplication::sendEvent(area->horizontalScrollBar(), &sideways);
    event->accept();
}

void RepaintWindow(QWidget* window)
{
    for (QWidget* control : window->findChildren<QWidget*>())
        if (control->isVisible())
            control->update();
    window->repaint();
}
