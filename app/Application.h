// The application object: owns the windows, runs the event loop and shows
// every exception a command raises instead of letting it cross Qt's loop.
#pragma once

#include <QApplication>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QMenuBar;

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
    // Hands a mouse move Qt gave a neighbour of a picture control to the
    // picture, when the pointer's exact position is over one of its device
    // pixels; true when it did.
    bool ToPictureUnderPointer(QObject* receiver, QEvent* event);
    // Follows the keys for a press and release of Alt with no other key
    // between them, which highlights the active window's menu bar.
    void WatchAltKey(const QEvent* event);
    // The active window's menu bar when the event is the release of a lone
    // Alt.
    QMenuBar* LoneAltRelease(const QEvent* event);
    // Delivers the event; what the delivery raises is shown, not thrown on.
    bool DeliverProtected(QObject* receiver, QEvent* event);
    // Down on a command in the menu bar chooses it; true when it did.
    bool ChooseCommandTitle(QObject* receiver, QEvent* event);

    std::vector<std::unique_ptr<QWidget>> forms_;
    bool altAlone_ = false;
};

// The message of the exception being handled, as a full sentence for the
// user: the text of the picture layer's exceptions, a plain statement for a
// failed allocation, a readable sentence for any other kind. Call only inside
// a catch block.
QString ExceptionMessage();

// The one application object of the process.
extern TApplication* Application;
