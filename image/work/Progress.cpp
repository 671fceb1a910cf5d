#include "image/work/Progress.h"

#include <QPromise>

#include <algorithm>

void TProgress::SetTotal(qint64 total)
{
    total_.store(total, std::memory_order_relaxed);
    reported_.store(0, std::memory_order_relaxed);
    if (promise_)
        promise_->setProgressRange(0, total > 0 ? kSteps : 0); // 0..0: busy, nothing known about the share
    Report();
}

void TProgress::Restart(qint64 total)
{
    done_.store(0, std::memory_order_relaxed);
    SetTotal(total);
}

void TProgress::Advance(qint64 step)
{
    done_.fetch_add(step, std::memory_order_relaxed);
    Report();
    if (watch)
        watch(TMoment::Advanced);
}

void TProgress::Report()
{
    const qint64 total = Total();
    if (!promise_ || total <= 0)
        return;
    const int share = int(std::clamp<qint64>(Done(), 0, total) * kSteps / total);
    // The promise is told only when the share has grown: parts of a pass
    // advance at once, and the steps are few.
    int reported = reported_.load(std::memory_order_relaxed);
    while (share > reported)
        if (reported_.compare_exchange_weak(reported, share, std::memory_order_relaxed)) {
            promise_->setProgressValue(share);
            break;
        }
}

bool TProgress::Cancel()
{
    int state = kRunning;
    return state_.compare_exchange_strong(state, kCancelled, std::memory_order_acq_rel) || state == kCancelled;
}

void TProgress::Commit()
{
    if (watch)
        watch(TMoment::Committing);
    int state = kRunning;
    if (!state_.compare_exchange_strong(state, kCommitted, std::memory_order_acq_rel) && state == kCancelled)
        throw TCancelled{};
}
