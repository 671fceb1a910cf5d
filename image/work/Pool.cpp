#include "image/work/Pool.h"

#include <QScopeGuard>

QThreadPool& WorkPool()
{
    // Its threads end when the program does, once their work is over.
    static QThreadPool pool;
    return pool;
}

namespace {

// One counter for every hand-over: the owner adds to it once the task is
// written, the pool's thread reads it before the task. Being a global, it is
// reached without reading anything the owner wrote.
std::atomic<unsigned> handovers{0};

std::function<void()> HandedOver(std::function<void()> task)
{
    std::function<void()> run = [task = std::move(task)] {
        (void)handovers.load(std::memory_order_acquire);
        task();
    };
    handovers.fetch_add(1, std::memory_order_release);
    return run;
}

} // namespace

void StartTask(std::function<void()> task)
{
    WorkPool().start(HandedOver(std::move(task)));
}

bool TryStartTask(std::function<void()> task)
{
    return WorkPool().tryStart(HandedOver(std::move(task)));
}

struct TPoolTask::TState {
    std::function<void()> fn;
    QPromise<void> promise;
    std::atomic<bool> claimed{false};
    // Set as the work ends, read after the wait: what the future's wait
    // orders, through Qt's own locks, the thread sanitizer cannot see.
    std::atomic<bool> ran{false};

    bool Claim() { return !claimed.exchange(true, std::memory_order_acq_rel); }
    void Run()
    {
        try {
            fn();
        } catch (...) {
            promise.setException(std::current_exception());
        }
        fn = nullptr;
        ran.store(true, std::memory_order_release);
        promise.finish();
    }
};

TPoolTask::TPoolTask(std::function<void()> fn) : state_(std::make_shared<TState>())
{
    state_->fn = std::move(fn);
    future_ = state_->promise.future();
    state_->promise.start();
    StartTask([state = state_] {
        if (state->Claim())
            state->Run();
    });
}

TPoolTask::~TPoolTask()
{
    if (!state_)
        return; // moved from
    try {
        Wait();
    } catch (...) { // the owner that wanted it saw it through Wait already
    }
}

void TPoolTask::Wait()
{
    if (state_->Claim())
        state_->Run();
    const auto acquire = qScopeGuard([this] { (void)state_->ran.load(std::memory_order_acquire); });
    future_.waitForFinished();
}
