#include "image/work/Pool.h"

#include <QScopeGuard>

QThreadPool& WorkPool()
{
    // Its threads end when the program does, once their work is over.
    static QThreadPool pool;
    return pool;
}

TPoolTask::TPoolTask(std::function<void()> fn)
{
    const auto promise = std::make_shared<QPromise<void>>();
    future_ = promise->future();
    promise->start();
    runnable_.reset(QRunnable::create([promise, ran = ran_, fn = std::move(fn)] {
        try {
            fn();
        } catch (...) {
            promise->setException(std::current_exception());
        }
        ran->store(true, std::memory_order_release);
        promise->finish();
    }));
    // Owned here, so that Wait may still take it back from the queue.
    runnable_->setAutoDelete(false);
    WorkPool().start(runnable_.get());
}

TPoolTask::~TPoolTask()
{
    if (!runnable_)
        return; // moved from
    try {
        Wait();
    } catch (...) { // the owner that wanted it saw it through Wait already
    }
}

void TPoolTask::Wait()
{
    if (runnable_ && WorkPool().tryTake(runnable_.get()))
        runnable_->run();
    const auto acquire = qScopeGuard([this] { (void)ran_->load(std::memory_order_acquire); });
    future_.waitForFinished();
}
