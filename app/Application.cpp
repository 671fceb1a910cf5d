#include "Application.h"
#include "Background.h"
#include "Controls.h"

#include "image/Graphics.h"

#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProxyStyle>
#include <QStyleFactory>

#include <exception>
#include <new>

TApplication* Application = nullptr;

namespace {

// The platform's style without its own handling of a lone Alt, which some
// platforms and styles have and others lack: TApplication::notify gives the
// same behaviour everywhere.
class TMenuKeyStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_MenuBar_AltKeyNavigation)
            return 0;
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
    case QEvent::KeyRelease: {
        const auto* key = static_cast<const QKeyEvent*>(event);
        if (key->key() != Qt::Key_Alt || key->isAutoRepeat() || !altAlone_)
            break;
        altAlone_ = false;
        // Captions carry no mnemonic letters: a lone Alt (like F10) opens
        // the first menu of the active window's menu bar.
        QWidget* window = activeWindow();
        QMenuBar* bar = window && !activePopupWidget() ? window->findChild<QMenuBar*>() : nullptr;
        if (bar && bar->isVisible())
            for (QAction* item : bar->actions())
                if (item->menu() && item->isEnabled() && item->isVisible()) {
                    bar->setActiveAction(item);
                    break;
                }
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

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    WatchAltKey(event);
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
    // Commands run under Protect; this catches what anything else raises while
    // an event is delivered (out of memory while painting, say).
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowException(ExceptionMessage());
    }
    return false;
}
