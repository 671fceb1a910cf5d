// How far a long piece of work has come, and whether it should stop.
//
// The work (reading, writing, a long command) runs on a worker thread and
// calls Advance as it goes and Check between steps; the window's thread reads
// Done/Total to show the share done and calls Cancel when the user asks.
// Every member is safe to use from both threads at once.
#pragma once

#include <QtGlobal>

#include <atomic>

// Thrown by TProgress::Check once Cancel was called; the work that throws it
// must leave everything as it was before it started.
struct TCancelled {};

class TProgress {
public:
    // The amount the work will do in all (rows, bytes ...); 0 when unknown.
    void SetTotal(qint64 total) { total_.store(total, std::memory_order_relaxed); }
    // Counts anew from nothing against total, for work that turns out to be
    // measured in other units than first thought (rows instead of bytes).
    void Restart(qint64 total)
    {
        done_.store(0, std::memory_order_relaxed);
        total_.store(total, std::memory_order_relaxed);
    }
    void Advance(qint64 step) { done_.fetch_add(step, std::memory_order_relaxed); }
    qint64 Done() const { return done_.load(std::memory_order_relaxed); }
    qint64 Total() const { return total_.load(std::memory_order_relaxed); }

    void Cancel() { cancelled_.store(true, std::memory_order_relaxed); }
    bool Cancelled() const { return cancelled_.load(std::memory_order_relaxed); }
    // Throws TCancelled once the work was asked to stop.
    void Check() const
    {
        if (Cancelled())
            throw TCancelled{};
    }

private:
    std::atomic<qint64> done_{0};
    std::atomic<qint64> total_{0};
    std::atomic<bool> cancelled_{false};
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
