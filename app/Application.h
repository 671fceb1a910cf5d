// The application object: owns the windows, runs the event loop and shows
// every exception a command raises instead of letting it cross Qt's loop;
// the menu keys (MenuKeys.h) and the picture controls' pointer see every
// event first.
#pragma once

#include "Errors.h"
#include "MenuKeys.h"

#include <QApplication>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);
    ~TApplication() override;

    // Creates a window the application owns until it ends; the first one
    // created is the main window, which Run shows.
    template <class TWindow> void CreateForm(TWindow*& reference)
    {
        auto window = std::make_unique<TWindow>();
        reference = window.get();
        forms_.push_back(std::move(window));
    }
    QWidget* MainForm() const { return forms_.empty() ? nullptr : forms_.front().get(); }

    // Shows the main window and runs the event loop until it closes.
    int Run();

    // Runs one command; whatever it throws is shown by ShowException and the
    // program goes on. While a busy command runs the wait cursor shows; it
    // goes back when the command ends, also when it fails. A busy command
    // that arrives while another waits for its work in the background is
    // dropped.
    void Protect(const std::function<void()>& command, bool busy = true) noexcept;

    // The standard exception display: a message box with the message.
    void ShowException(const QString& message);

    // Replaces the message box, for callers that must not block on one
    // (tests record the messages instead).
    std::function<void(const QString&)> ExceptionDisplay;

    bool notify(QObject* receiver, QEvent* event) override;

private:
    // Delivers the event; what the delivery raises is shown, not thrown on.
    bool DeliverProtected(QObject* receiver, QEvent* event);

    std::vector<std::unique_ptr<QWidget>> forms_;
    TMenuKeys menuKeys_;
};

// The one application object of the process.
extern TApplication* Application;
