// How far a long piece of work has come, and whether it should stop.
//
// The work (reading, writing, a long command) runs on the work pool and
// calls Advance as it goes and Check between steps; the window's thread
// follows the share done through the promise the work runs under (a
// QFutureWatcher on its future) and calls Cancel when the user asks. Every
// member is safe to use from several threads at once.
#pragma once

#include <QtGlobal>

#include <atomic>
#include <functional>

template <typename T>
class QPromise;

// Thrown by TProgress::Check once Cancel was called; the work that throws it
// must leave everything as it was before it started.
struct TCancelled {};

class TProgress {
public:
    // The steps of the share done the promise reports (0..kSteps), fine
    // enough for any picture; a range of 0..0 while the total is unknown.
    static constexpr int kSteps = 1000;

    TProgress() = default;
    TProgress(const TProgress&) = delete;
    TProgress& operator=(const TProgress&) = delete;

    // The amount the work will do in all (rows, bytes ...); 0 when unknown.
    void SetTotal(qint64 total);
    // Counts anew from nothing against total, for work that turns out to be
    // measured in other units than first thought (rows instead of bytes).
    void Restart(qint64 total);
    void Advance(qint64 step);
    qint64 Done() const { return done_.load(std::memory_order_relaxed); }
    qint64 Total() const { return total_.load(std::memory_order_relaxed); }

    // Asks the work to stop. True when it will stop without changing
    // anything; false when it has already begun to put its result in place
    // (Commit) and will complete.
    bool Cancel();
    bool Cancelled() const { return state_.load(std::memory_order_acquire) == kCancelled; }
    // Throws TCancelled once the work was asked to stop.
    void Check() const
    {
        if (Cancelled())
            throw TCancelled{};
    }
    // Called right before the one step that makes the work's result seen (a
    // new file taking the old one's place): throws TCancelled when the work
    // was cancelled; from here on Cancel is refused.
    void Commit();

    // Reports the share done to promise as well, until called again with
    // nullptr; called by the thread that runs the work, before and after it.
    void ReportTo(QPromise<void>* promise) { promise_ = promise; }

    // Where the work is, for a test that holds it at one of these moments;
    // called on the working thread. Empty in the program.
    enum class TMoment { Advanced, Committing };
    std::function<void(TMoment)> watch;

private:
    enum { kRunning, kCancelled, kCommitted };
    void Report();

    QPromise<void>* promise_ = nullptr;
    std::atomic<qint64> done_{0};
    std::atomic<qint64> total_{0};
    std::atomic<int> reported_{0};
    std::atomic<int> state_{kRunning};
};

// Progress reporting for code that may run with or without a TProgress.
inline void Advance(TProgress* progress, qint64 step)
{
    if (progress)
        progress->Advance(step);
}
inline void CheckCancel(const TProgress* progress)
{
    if (progress)
        progress->Check();
}
