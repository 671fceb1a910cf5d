#include "MenuKeys.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleFactory>

namespace {

class TMenuKeyStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_MenuBar_AltKeyNavigation)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// Down on a highlighted title that is a command of its own ("Help") chooses
// it, as Enter and Space do; on a menu's title it opens the menu. True when
// it chose.
bool ChooseCommandTitle(QObject* receiver, const QEvent* event, const TMenuKeys::TDeliver& deliver)
{
    auto* bar = qobject_cast<QMenuBar*>(receiver);
    const auto* key = static_cast<const QKeyEvent*>(event);
    if (!bar || key->key() != Qt::Key_Down || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return false;
    QAction* title = bar->activeAction();
    if (!title || title->menu() || !title->isEnabled())
        return false;
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    deliver(bar, &enter);
    return true;
}

// Alt with a printable key: a menu key, or nothing where no menu has it.
bool IsAltLetter([[maybe_unused]] const QEvent* event)
{
#ifdef Q_OS_MACOS
    return false; // Option types accented letters there
#else
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<const QKeyEvent*>(event);
    return (key->modifiers() & ~Qt::KeypadModifier) == Qt::AltModifier && !key->text().isEmpty() &&
           key->text().front().isPrint();
#endif
}

// Gives the keyboard back to the control that had it when the menu bar
// leaves its highlight (Escape, or a command chosen from it, also once the
// dialog the command opened has closed).
class TMenuBarKeys : public QObject {
public:
    explicit TMenuBarKeys(QMenuBar* bar) : QObject(bar), bar_(bar)
    {
        setObjectName(Name());
        bar->installEventFilter(this);
        // A title that is a command of its own ("Help") leaves the bar
        // highlighted after its command has run: it is left as Escape
        // leaves it.
        connect(bar, &QMenuBar::triggered, this, [this](QAction* action) {
            if (bar_->hasFocus() && bar_->activeAction() == action && !action->menu()) {
                QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QCoreApplication::sendEvent(bar_, &escape);
            }
        });
    }
    static QString Name() { return QStringLiteral("MenuBarKeys"); }
    QPointer<QWidget> before;

    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::FocusOut ||
            event->type() == QEvent::FocusIn)
            QMetaObject::invokeMethod(this, [this] { Restore(); }, Qt::QueuedConnection);
        return false;
    }

private:
    void Restore()
    {
        // A command chosen from the bar that opened a dialog (Help): the
        // bar gets the focus back when the dialog closes, and gives it on
        // to the control that had it.
        if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != bar_->window())
            return;
        if (bar_->hasFocus() && !bar_->activeAction() && !QApplication::activePopupWidget() && before)
            before->setFocus(Qt::MenuBarFocusReason);
        if (!bar_->hasFocus() || !bar_->activeAction())
            if (!QApplication::activePopupWidget())
                before = nullptr;
    }
    QMenuBar* bar_;
};

} // namespace

QStyle* TMenuKeys::Style() { return new TMenuKeyStyle(QStyleFactory::create(QApplication::style()->name())); }

void TMenuKeys::WatchAltKey(const QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress: {
        const auto* key = static_cast<const QKeyEvent*>(event);
        if (!key->isAutoRepeat())
            altAlone_ = key->key() == Qt::Key_Alt;
        break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
    case QEvent::WindowDeactivate:
    case QEvent::ApplicationDeactivate:
        altAlone_ = false;
        break;
    default:
        break;
    }
}

QMenuBar* TMenuKeys::LoneAltRelease(const QEvent* event)
{
    if (event->type() != QEvent::KeyRelease)
        return nullptr;
    const auto* key = static_cast<const QKeyEvent*>(event);
    if (key->key() != Qt::Key_Alt || key->isAutoRepeat() || !altAlone_)
        return nullptr;
    altAlone_ = false;
    QWidget* window = QApplication::activeWindow();
    QMenuBar* bar = window && !QApplication::activePopupWidget() ? window->findChild<QMenuBar*>() : nullptr;
    return bar && bar->isVisible() ? bar : nullptr;
}

bool TMenuKeys::Deliver(QObject* receiver, QEvent* event, const TDeliver& deliver)
{
    if (event->type() == QEvent::KeyPress && ChooseCommandTitle(receiver, event, deliver))
        return true;
    WatchAltKey(event);
    // Some platforms' menu bars answer a lone Alt themselves, others not:
    // where the bar is as it was after Qt had the release, it is answered here.
    if (QMenuBar* bar = LoneAltRelease(event)) {
        const QAction* title = bar->activeAction();
        const bool focus = bar->hasFocus();
        const bool result = deliver(receiver, event);
        if (bar->activeAction() == title && bar->hasFocus() == focus)
            HighlightMenuBar(bar);
        return result;
    }
    // Shortcuts (the menus' own letters) have had their turn before the key
    // press is delivered. What is left goes to the control's window, not to
    // a box that would type the letter; the menu bar sees it pass, so that
    // the Alt released after it highlights nothing.
    if (auto* widget = qobject_cast<QWidget*>(receiver); widget && IsAltLetter(event)) {
        deliver(widget->window(), event);
        return true;
    }
    return deliver(receiver, event);
}

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
