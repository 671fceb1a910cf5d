#include "Application.h"
#include "Background.h"
#include "Controls.h"
#include "Errors.h"
#include "ImageControl.h"

#include "image/bitmap/Graphics.h"

TApplication* Application = nullptr;

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    // No display name: the platform would append it to every window title,
    // which must read exactly as the forms say. Message boxes name the
    // application themselves.
    setApplicationName(QStringLiteral("imagebench"));
    setDesktopFileName(QStringLiteral("imagebench"));
    setStyle(TMenuKeys::Style());
    RouteLibraryMessages();
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
    ShowErrorBox(activeWindow(), message);
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    if (event->type() == QEvent::MouseMove && TImage::DeliverToPictureUnderPointer(receiver, event))
        return true;
    return menuKeys_.Deliver(receiver, event,
                             [this](QObject* to, QEvent* delivered) { return DeliverProtected(to, delivered); });
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
