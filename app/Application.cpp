#include "Application.h"

#include <QMessageBox>

#include <exception>

TApplication* Application = nullptr;

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("imagebench"));
    setApplicationDisplayName(QStringLiteral("imagebench"));
    setDesktopFileName(QStringLiteral("imagebench"));
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

void TApplication::Protect(const std::function<void()>& command) noexcept
{
    try {
        command();
    } catch (const std::exception& error) {
        ShowException(QString::fromUtf8(error.what()));
    } catch (...) {
        ShowException(QString());
    }
}

void TApplication::ShowException(const QString& message)
{
    if (ExceptionDisplay) {
        ExceptionDisplay(message);
        return;
    }
    QMessageBox box(QMessageBox::Critical, applicationDisplayName(), message, QMessageBox::Ok, activeWindow());
    box.setObjectName(QStringLiteral("ExceptionMessage"));
    box.exec();
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    // Commands run under Protect; this catches what anything else raises while
    // an event is delivered (out of memory while painting, say).
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ShowException(QString::fromUtf8(error.what()));
    } catch (...) {
        ShowException(QString());
    }
    return false;
}
