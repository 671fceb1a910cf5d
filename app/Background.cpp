#include "Background.h"

#include "image/bitmap/Graphics.h"
#include "image/work/Pool.h"
#include "image/work/Progress.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPromise>
#include <QPushButton>
#include <QScreen>
#include <QSemaphore>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>

TBackgroundHooks BackgroundHooks;

namespace {

// Work that ends within this time is waited for without running the event
// loop at all: a small picture behaves exactly as a plain call would.
constexpr int kQuickWaitMs = 10;
// The widest the progress dialog's text grows, in pixels.
constexpr int kMostTextWidth = 480;

bool running = false;
// Counted up as each work ends, read by whoever waited for one before it
// reads what the work left: the waits themselves (QSemaphore, QFuture) go
// through Qt's own locks, which the thread sanitizer cannot see into.
std::atomic<unsigned> ends{0};
void SeeEnded() { (void)ends.load(std::memory_order_acquire); }
// The last work cancelled; the next work starts once it has ended.
QFuture<void> cancelled;

// One piece of work, shared by the window and the pool's thread: a
// cancelled work goes on holding it after the window stopped waiting.
struct TJob {
    std::function<void(TProgress&)> work;
    TProgress progress;
    std::exception_ptr error;
    bool stopped = false; // the work threw TCancelled
    QSemaphore ended;
};

// While the window waits: holds back a close of the window (close button,
// Alt+F4, the window manager, a command that closes it) and remembers it
// for afterwards; drops input to the window once the dialog shows; wakes
// the waiting loop when the dialog shows, and cancels when it hides.
class TWaitFilter : public QObject {
public:
    TWaitFilter(QWidget* window, QProgressDialog& dialog, std::function<void()> shown,
                std::function<void()> cancelled)
        : window_(window), dialog_(dialog), shown_(std::move(shown)), cancelled_(std::move(cancelled))
    {
        qApp->installEventFilter(this);
    }
    ~TWaitFilter() override { Stop(); }
    // The wait is over: events pass untouched from now on.
    void Stop() { qApp->removeEventFilter(this); }
    bool CloseAsked() const { return closeAsked_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &dialog_ && event->type() == QEvent::Show) {
            shown_();
            return false;
        }
        if (watched == &dialog_ && event->type() == QEvent::Hide) {
            // While the work runs the dialog hides only when cancelled:
            // Escape cancels through the dialog's own shortcut, which just
            // hides it.
            cancelled_();
            return false;
        }
        if (!window_ || watched != window_ || event->type() != QEvent::Close) {
            const auto* widget = watched->isWidgetType() ? static_cast<QWidget*>(watched) : nullptr;
            return widget && window_ && widget->window() == window_ && event->isInputEvent();
        }
        // A close event ignored keeps the window open; returning true alone
        // would leave it accepted.
        event->ignore();
        closeAsked_ = true;
        dialog_.show(); // the dialog says what the window waits for
        return true;
    }

private:
    QWidget* window_;
    QProgressDialog& dialog_;
    std::function<void()> shown_, cancelled_;
    bool closeAsked_ = false;
};

// The dialog's text: "Saving “name.png”…", the name shortened in its middle
// to fit; the whole path is the tooltip and the accessible description.
void Describe(QProgressDialog& dialog, QLabel& label, const QString& doing, const QString& file)
{
    int room = kMostTextWidth;
    if (const QScreen* screen = dialog.screen())
        room = std::min(room, screen->availableGeometry().width() * 2 / 3);
    if (file.isEmpty()) {
        label.setText(doing + QStringLiteral("\u2026"));
        label.setAccessibleDescription(QStringLiteral("What is being done"));
        return;
    }
    const QString frame = QStringLiteral("%1 \u201C%2\u201D\u2026");
    const QFontMetrics metrics(label.font());
    const int left = room - metrics.horizontalAdvance(frame.arg(doing, QString()));
    const QString name = metrics.elidedText(QFileInfo(file).fileName(), Qt::ElideMiddle, std::max(left, 0));
    label.setText(frame.arg(doing, name));
    label.setToolTip(QDir::toNativeSeparators(file));
    label.setAccessibleDescription(QDir::toNativeSeparators(file));
    dialog.setToolTip(label.toolTip());
}

void SetUp(QProgressDialog& dialog, const QString& doing, const QString& file)
{
    dialog.setObjectName(QStringLiteral("ProgressDlg"));
    dialog.setWindowTitle(QStringLiteral("imagebench"));
    dialog.setAccessibleName(QStringLiteral("Progress"));
    dialog.setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    auto* label = new QLabel(&dialog);
    label->setObjectName(QStringLiteral("Label1"));
    label->setTextFormat(Qt::PlainText);
    Describe(dialog, *label, doing, file);
    dialog.setLabel(label);
    auto* bar = new QProgressBar(&dialog);
    bar->setObjectName(QStringLiteral("ProgressBar1"));
    bar->setTextVisible(false);
    bar->setAccessibleName(QStringLiteral("Share done"));
    dialog.setBar(bar);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), &dialog);
    cancel->setObjectName(QStringLiteral("CancelBtn"));
    cancel->setAccessibleName(QStringLiteral("Cancel"));
    cancel->setAutoDefault(false);
    // Without a button first: a button set over the default one would leave
    // that one's Escape shortcut beside the new one's, and two shortcuts on
    // one key both do nothing.
    dialog.setCancelButton(nullptr);
    dialog.setCancelButton(cancel);
    dialog.setAutoReset(false);
    dialog.setAutoClose(false);
    dialog.setRange(0, 0); // busy until the work names its total
    dialog.setMinimumDuration(BackgroundHooks.dialogDelay);
    dialog.setValue(0); // the delay counts from now
}

bool Finished(const TJob& job, const std::function<void()>& finish)
{
    SeeEnded();
    if (job.error)
        std::rethrow_exception(job.error);
    if (job.stopped || job.progress.Cancelled())
        return false;
    if (finish)
        finish();
    return true;
}

} // namespace

bool BackgroundWorkRunning() { return running; }

bool CancelledWorkRunning()
{
    const bool stillRunning = cancelled.isRunning();
    SeeEnded();
    return stillRunning;
}

void WaitForCancelledWork()
{
    cancelled.waitForFinished();
    SeeEnded();
}

bool RunInBackground(QWidget* window, const QString& doing, const QString& file,
                     std::function<void(TProgress&)> work, const std::function<void()>& finish)
{
    struct Running {
        Running() { running = true; }
        ~Running() { running = false; }
    } scope;

    const auto job = std::make_shared<TJob>();
    job->work = std::move(work);
    const QFuture<void> future = StartOnPool(
        [job, previous = cancelled, hook = BackgroundHooks.aroundWork](QPromise<void>& promise) mutable {
            previous.waitForFinished(); // what a cancelled work holds goes first
            SeeEnded();
            job->progress.ReportTo(&promise);
            try {
                job->progress.Check();
                if (hook)
                    hook(job->progress, [&] { job->work(job->progress); });
                else
                    job->work(job->progress);
            } catch (const TCancelled&) {
                job->stopped = true;
            } catch (...) {
                job->error = std::current_exception();
            }
            job->progress.ReportTo(nullptr);
            job->work = nullptr; // what the work held goes here, also when nobody waits
            ends.fetch_add(1, std::memory_order_release);
            job->ended.release();
        });
    if (job->ended.tryAcquire(1, kQuickWaitMs))
        return Finished(*job, finish);

    QProgressDialog dialog(window);
    SetUp(dialog, doing, file);
    if (!window)
        dialog.setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    bool gaveUp = false;
    const bool waitCursor = QApplication::overrideCursor() != nullptr;
    bool busyCursor = false;
    const auto cancel = [&] {
        // Refused once the work is putting its result in place: that takes
        // no time, and then the work has completed.
        if (!gaveUp && job->progress.Cancel()) {
            gaveUp = true;
            loop.quit();
        }
    };
    TWaitFilter filter(
        window, dialog,
        [&] {
            // The pointer over the dialog says that Cancel can be clicked.
            if (waitCursor && !busyCursor)
                QApplication::changeOverrideCursor(Qt::BusyCursor);
            busyCursor = waitCursor;
            loop.quit();
        },
        cancel);
    QObject::connect(&dialog, &QProgressDialog::canceled, &loop, cancel);
    QObject::connect(&dialog, &QDialog::rejected, &loop, cancel);
    QFutureWatcher<void> watcher;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    QObject::connect(&watcher, &QFutureWatcherBase::progressRangeChanged, &dialog,
                     [&](int minimum, int maximum) { dialog.setRange(minimum, maximum); });
    QObject::connect(&watcher, &QFutureWatcherBase::progressValueChanged, &dialog, [&](int value) {
        if (value > dialog.minimum()) // the minimum would start the dialog's delay anew
            dialog.setValue(value);
    });
    watcher.setFuture(future);
    // Until the dialog shows, input stays queued for afterwards; once it
    // shows, the filter keeps input away from the window.
    while (!watcher.isFinished() && !gaveUp)
        loop.exec(dialog.isVisible() ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    filter.Stop();
    if (busyCursor)
        QApplication::changeOverrideCursor(Qt::WaitCursor);
    dialog.hide();
    if (filter.CloseAsked()) {
        // The close the user asked for, once this command is over.
        QTimer::singleShot(0, window, [target = QPointer<QWidget>(window)] {
            if (target)
                target->close();
        });
    }
    if (gaveUp) {
        cancelled = future;
        return false;
    }
    job->ended.acquire();
    return Finished(*job, finish);
}

bool ChangeInBackground(QWidget* window, const QString& doing, TBitmap& bitmap,
                        std::function<void(TBitmap&, TProgress&)> command)
{
    if (bitmap.Empty()) {
        // Nothing to compute, and nothing to wait for: the command itself
        // decides what an empty bitmap becomes (mostly nothing at all).
        TProgress progress;
        command(bitmap, progress);
        return true;
    }
    // The copy shares the pixels until the command writes to it; a
    // cancelled command goes on with it alone.
    const auto copy = std::make_shared<TBitmap>();
    copy->Assign(bitmap);
    return RunInBackground(
        window, doing, QString(), [copy, command = std::move(command)](TProgress& progress) { command(*copy, progress); },
        [&] { bitmap.Assign(*copy); });
}
