#include "Controls.h"

#include <QAbstractScrollArea>
#include <QChildEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QApplication>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPointer>
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

namespace {

// Gives the keyboard back to the control that had it when the menu bar
// leaves its highlight (Escape, or a command chosen from it).
class TMenuBarKeys : public QObject {
public:
    explicit TMenuBarKeys(QMenuBar* bar) : QObject(bar), bar_(bar)
    {
        setObjectName(Name());
        bar->installEventFilter(this);
    }
    static QString Name() { return QStringLiteral("MenuBarKeys"); }
    QPointer<QWidget> before;

    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::FocusOut)
            QMetaObject::invokeMethod(this, [this] { Restore(); }, Qt::QueuedConnection);
        return false;
    }

private:
    void Restore()
    {
        if (bar_->hasFocus() && !bar_->activeAction() && !QApplication::activePopupWidget() && before)
            before->setFocus(Qt::MenuBarFocusReason);
        if (!bar_->hasFocus() || !bar_->activeAction())
            if (!QApplication::activePopupWidget())
                before = nullptr;
    }
    QMenuBar* bar_;
};

} // namespace

void HighlightMenuBar(QMenuBar* bar)
{
    if (bar->activeAction() && bar->hasFocus()) {
        // Highlighted already: the key leaves the bar, as Escape does.
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(bar, &escape);
        return;
    }
    QAction* first = nullptr;
    for (QAction* title : bar->actions())
        if (title->isVisible() && title->isEnabled() && !title->isSeparator()) {
            first = title;
            break;
        }
    if (!first)
        return;
    auto* keys = static_cast<TMenuBarKeys*>(bar->findChild<QObject*>(TMenuBarKeys::Name(), Qt::FindDirectChildrenOnly));
    if (!keys)
        keys = new TMenuBarKeys(bar);
    if (QApplication::focusWidget() != bar)
        keys->before = QApplication::focusWidget();
    // The title is highlighted as the pointer resting on it highlights it,
    // with no menu opened; the bar then takes the keys: the arrows move
    // along it, Down or Enter opens the menu, Escape leaves.
    const QPointF centre = QRectF(bar->actionGeometry(first)).center();
    QMouseEvent rest(QEvent::MouseMove, centre, bar->mapToGlobal(centre), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(bar, &rest);
    bar->setFocus(Qt::MenuBarFocusReason);
}
