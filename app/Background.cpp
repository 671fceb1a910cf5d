#include "Background.h"

#include "ProgressDlg.h"

#include "image/bitmap/Graphics.h"
#include "image/work/Progress.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <stdexcept>

int BackgroundDialogDelay = 500;
std::function<void(TProgress&)> BeforeBackgroundWork;

namespace {

// Work that ends within this time is waited for without running the event
// loop at all: a small picture behaves exactly as a plain call would.
constexpr int kQuickWaitMs = 10;
// How often the event loop looks whether the work has ended.
constexpr int kPollMs = 4;

bool running = false;

// While the work runs, holds back a close of the window (close button,
// Alt+F4, a command that closes it) and remembers it for afterwards.
class TCloseHolder : public QObject {
public:
    explicit TCloseHolder(QWidget* window, std::function<void()> onClose)
        : window_(window), onClose_(std::move(onClose))
    {
        window_->installEventFilter(this);
    }
    ~TCloseHolder() override { window_->removeEventFilter(this); }
    bool Asked() const { return asked_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != window_ || event->type() != QEvent::Close)
            return false;
        // A close event ignored keeps the window open; returning true alone
        // would leave it accepted.
        event->ignore();
        asked_ = true;
        onClose_();
        return true;
    }

private:
    QWidget* window_;
    std::function<void()> onClose_;
    bool asked_ = false;
};

} // namespace

bool BackgroundWorkRunning() { return running; }

bool RunInBackground(QWidget* window, const QString& text, const std::function<void(TProgress&)>& work,
                     const std::function<void()>& finish)
{
    struct Running {
        Running() { running = true; }
        ~Running() { running = false; }
    } scope;

    TProgress progress;
    std::exception_ptr error;
    bool cancelled = false;
    // The worker's end, told through the standard library only: the window's
    // thread looks at it on a short timer, so the worker never calls into Qt's
    // event machinery.
    std::mutex endLock;
    std::condition_variable endSignal;
    bool ended = false;
    const auto hasEnded = [&] {
        const std::lock_guard<std::mutex> guard(endLock);
        return ended;
    };
    QEventLoop loop;

    // A thread of Qt's own, not one Qt adopts when the work makes its first
    // file object there: on Windows an adopted thread is cleaned up by a
    // watcher thread after it ends, which races with the program's exit
    // when the last work ended just before it (the exit then hangs or
    // aborts). A QThread cleans up before wait() returns.
    const std::unique_ptr<QThread> worker(QThread::create([&] {
        try {
            if (BeforeBackgroundWork)
                BeforeBackgroundWork(progress);
            work(progress);
        } catch (const TCancelled&) {
            cancelled = true;
        } catch (...) {
            error = std::current_exception();
        }
        const std::lock_guard<std::mutex> guard(endLock);
        ended = true;
        endSignal.notify_all();
    }));
    worker->start();
    // A thread that could not start has neither run the work nor ended.
    if (!worker->isRunning() && !hasEnded())
        throw std::runtime_error("no thread could be started for the work");

    bool quick = false;
    {
        std::unique_lock<std::mutex> guard(endLock);
        quick = endSignal.wait_for(guard, std::chrono::milliseconds(kQuickWaitMs), [&] { return ended; });
    }
    if (!quick) {
        QObject receiver; // the timers' context, gone with this call
        std::unique_ptr<TProgressDlg> dialog;
        const bool waitCursor = QApplication::overrideCursor() != nullptr;
        const auto showDialog = [&] {
            if (dialog)
                return;
            dialog = std::make_unique<TProgressDlg>(window, progress, text);
            dialog->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
            dialog->show();
            // The pointer over the dialog says that Cancel can be clicked.
            if (waitCursor)
                QApplication::changeOverrideCursor(Qt::BusyCursor);
            loop.quit();
        };
        std::unique_ptr<TCloseHolder> closeHolder;
        if (window)
            closeHolder = std::make_unique<TCloseHolder>(window, showDialog);
        QTimer delay;
        delay.setSingleShot(true);
        QObject::connect(&delay, &QTimer::timeout, &receiver, showDialog);
        delay.start(BackgroundDialogDelay);
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &receiver, [&] {
            if (hasEnded())
                loop.quit();
        });
        poll.start(kPollMs);
        // Until the dialog shows, input stays queued for afterwards; once it
        // shows, its modality keeps input away from the window.
        while (!hasEnded())
            loop.exec(dialog ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
        poll.stop();
        if (dialog) {
            dialog->hide();
            dialog.reset();
            if (waitCursor)
                QApplication::changeOverrideCursor(Qt::WaitCursor);
        }
        if (closeHolder && closeHolder->Asked()) {
            // The close the user asked for, once this command is over.
            QTimer::singleShot(0, window, [target = QPointer<QWidget>(window)] {
                if (target)
                    target->close();
            });
        }
    }
    worker->wait();

    if (error)
        std::rethrow_exception(error);
    if (cancelled || progress.Cancelled())
        return false;
    if (finish)
        finish();
    return true;
}

bool ChangeInBackground(QWidget* window, const QString& text, TBitmap& bitmap,
                        const std::function<void(TBitmap&, TProgress&)>& command)
{
    if (bitmap.Empty()) {
        // Nothing to compute, and nothing to wait for: the command itself
        // decides what an empty bitmap becomes (mostly nothing at all).
        TProgress progress;
        command(bitmap, progress);
        return true;
    }
    // The copy shares the pixels until the command writes to it.
    TBitmap copy;
    copy.Assign(bitmap);
    return RunInBackground(window, text, [&](TProgress& progress) { command(copy, progress); },
                           [&] { bitmap.Assign(copy); });
}
