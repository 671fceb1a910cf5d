#include "Application.h"
#include "Background.h"
#include "Controls.h"
#include "ImageControl.h"

#include "image/bitmap/Graphics.h"

#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProxyStyle>
#include <QStyleFactory>

#include <exception>
#include <new>

TApplication* Application = nullptr;

namespace {

// The platform's style with the menu bar's keyboard navigation on every
// platform, as Windows users know it: a lone Alt (or F10) highlights the
// first title, the arrows move along the bar, Down or Enter opens a menu.
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

} // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    // No display name: the platform would append it to every window title,
    // which must read exactly as the forms say. Message boxes name the
    // application themselves.
    setApplicationName(QStringLiteral("imagebench"));
    setDesktopFileName(QStringLiteral("imagebench"));
    setStyle(new TMenuKeyStyle(QStyleFactory::create(style()->name())));
    Application = this;
}

TApplication::~TApplication()
{
    // Windows close in the reverse order of their creation, while the
    // application they belong to still exists.
    while (!forms_.empty())
        forms_.pop_back();
    if (Application == this)
        Application = nullptr;
}

int TApplication::Run()
{
    if (QWidget* main = MainForm())
        main->show();
    return exec();
}

QString ExceptionMessage()
{
    try {
        throw;
    } catch (const Exception& error) {
        return error.Message();
    } catch (const std::bad_alloc&) {
        return QStringLiteral("There is not enough memory to finish this operation.");
    } catch (const std::exception& error) {
        const QString what = QString::fromUtf8(error.what()).trimmed();
        if (what.isEmpty())
            return QStringLiteral("The operation stopped because of an unexpected error.");
        return QStringLiteral("The operation stopped because of an unexpected error (%1).").arg(what);
    } catch (...) {
        return QStringLiteral("The operation stopped because of an unexpected error of an unknown kind.");
    }
}

void TApplication::Protect(const std::function<void()>& command, bool busy) noexcept
{
    // One command at a time: while one waits for its work on the worker,
    // another that reaches a handler anyway (a timer, a queued call) does
    // not start.
    if (busy && BackgroundWorkRunning())
        return;
    // The wait cursor goes back when the command ends, and before any
    // message shows, so that the message box is answered with the normal
    // pointer.
    struct WaitCursor {
        bool on;
        explicit WaitCursor(bool show) : on(show)
        {
            if (on)
                QApplication::setOverrideCursor(Qt::WaitCursor);
        }
        void Restore()
        {
            if (on)
                QApplication::restoreOverrideCursor();
            on = false;
        }
        ~WaitCursor() { Restore(); }
    } cursor(busy);
    try {
        // The window shows its current state before a long command: a menu
        // closed just now is gone from it, not left painted on it.
        if (QWidget* window = busy ? activeWindow() : nullptr)
            RepaintWindow(window);
        command();
    } catch (...) {
        cursor.Restore();
        ShowException(ExceptionMessage());
    }
}

void TApplication::ShowException(const QString& message)
{
    if (ExceptionDisplay) {
        ExceptionDisplay(message);
        return;
    }
    QMessageBox box(QMessageBox::Critical, applicationName(), message, QMessageBox::Ok, activeWindow());
    box.setObjectName(QStringLiteral("ExceptionMessage"));
    box.exec();
}

void TApplication::WatchAltKey(const QEvent* event)
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

QMenuBar* TApplication::LoneAltRelease(const QEvent* event)
{
    if (event->type() != QEvent::KeyRelease)
        return nullptr;
    const auto* key = static_cast<const QKeyEvent*>(event);
    if (key->key() != Qt::Key_Alt || key->isAutoRepeat() || !altAlone_)
        return nullptr;
    altAlone_ = false;
    QWidget* window = activeWindow();
    QMenuBar* bar = window && !activePopupWidget() ? window->findChild<QMenuBar*>() : nullptr;
    return bar && bar->isVisible() ? bar : nullptr;
}

bool TApplication::ChooseCommandTitle(QObject* receiver, QEvent* event)
{
    // Down on a highlighted title that is a command of its own ("Help")
    // chooses it, as Enter and Space do; on a menu's title it opens the menu.
    auto* bar = qobject_cast<QMenuBar*>(receiver);
    const auto* key = static_cast<const QKeyEvent*>(event);
    if (!bar || key->key() != Qt::Key_Down || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return false;
    QAction* title = bar->activeAction();
    if (!title || title->menu() || !title->isEnabled())
        return false;
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::notify(bar, &enter);
    return true;
}

bool TApplication::ToPictureUnderPointer(QObject* receiver, QEvent* event)
{
    // Qt chooses the control under the pointer by its position rounded to a
    // whole logical pixel. On a scaled display the pointer can be over the
    // last device column or row of a picture while the rounded position lies
    // beside it: such a move goes to the picture, so that every device pixel
    // it draws is probed.
    auto* widget = qobject_cast<QWidget*>(receiver);
    const auto* move = static_cast<const QMouseEvent*>(event);
    if (!widget || qobject_cast<TImage*>(widget) || move->buttons() != Qt::NoButton)
        return false;
    for (TImage* image : widget->window()->findChildren<TImage*>()) {
        const QPointF at = move->scenePosition() - QPointF(image->mapTo(image->window(), QPoint()));
        if (image->window() == widget->window() && image->Covers(at)) {
            QMouseEvent moved(QEvent::MouseMove, at, move->scenePosition(), move->globalPosition(), Qt::NoButton,
                              Qt::NoButton, move->modifiers(), move->pointingDevice());
            QApplication::notify(image, &moved);
            return true;
        }
    }
    return false;
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    if (event->type() == QEvent::MouseMove && ToPictureUnderPointer(receiver, event))
        return true;
    if (event->type() == QEvent::KeyPress && ChooseCommandTitle(receiver, event))
        return true;
    WatchAltKey(event);
    // Some platforms' menu bars answer a lone Alt themselves, others not:
    // where the bar is as it was after Qt had the release, it is answered here.
    if (QMenuBar* bar = LoneAltRelease(event)) {
        const QAction* title = bar->activeAction();
        const bool focus = bar->hasFocus();
        const bool result = DeliverProtected(receiver, event);
        if (bar->activeAction() == title && bar->hasFocus() == focus)
            HighlightMenuBar(bar);
        return result;
    }
#ifndef Q_OS_MACOS
    // Alt with a letter is a menu key elsewhere, never typing: no box takes
    // "f" from Alt+F. (On macOS Option types accented letters.) Shortcuts
    // have had their turn before the key press is delivered.
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<const QKeyEvent*>(event);
        if ((key->modifiers() & ~Qt::KeypadModifier) == Qt::AltModifier && !key->text().isEmpty() &&
            key->text().front().isPrint())
            return true;
    }
#endif
    return DeliverProtected(receiver, event);
}

bool TApplication::DeliverProtected(QObject* receiver, QEvent* event)
{
    // Commands run under Protect; this catches what anything else raises while
    // an event is delivered (out of memory while painting, say).
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowException(ExceptionMessage());
    }
    return false;
}
