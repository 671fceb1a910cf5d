// The one pool of threads all long work runs on: the work itself (opening,
// saving, the commands) and every parallel pass within it.
#pragma once

#include <QFuture>
#include <QPromise>
#include <QRunnable>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

// As many threads as the machine has cores. A pool of its own: Qt's global
// pool serves Qt itself (painting, image conversions), which waits for it
// and must not find it full of long work.
QThreadPool& WorkPool();

// Hands a task to the pool. What the task reads was written before the
// hand-over; the pool orders that with Qt's own locks, which the thread
// sanitizer cannot see into, so the hand-over also goes through an atomic
// it can see.
void StartTask(std::function<void()> task);
// The same when a thread of the pool is free now; false when none is.
bool TryStartTask(std::function<void()> task);

// Starts fn(promise) on the pool and returns the promise's future; what fn
// throws is reported through the future. For work nobody need wait for.
template <typename Fn>
QFuture<void> StartOnPool(Fn fn)
{
    const auto promise = std::make_shared<QPromise<void>>();
    QFuture<void> future = promise->future();
    promise->start();
    StartTask([promise, fn = std::move(fn)]() mutable {
        try {
            fn(*promise);
        } catch (...) {
            promise->setException(std::current_exception());
        }
        promise->finish();
    });
    return future;
}

// A piece of work handed to the pool that its owner waits for: Wait runs it
// on the waiting thread when no pool thread has taken it yet, so that work
// waiting for its parts never waits for a busy pool. The owner must Wait (or
// let the destructor wait) before what the work uses goes.
class TPoolTask {
public:
    explicit TPoolTask(std::function<void()> fn);
    ~TPoolTask();
    TPoolTask(TPoolTask&&) noexcept = default;
    TPoolTask& operator=(TPoolTask&&) noexcept = default;

    // Returns once the work has run; throws what it threw.
    void Wait();

private:
    // Shared by the owner and the pool's runnable: whichever claims it first
    // runs the work; the other finds it claimed (the pool's runnable then
    // does nothing, the owner waits for the future).
    struct TState;
    std::shared_ptr<TState> state_;
    QFuture<void> future_;
};

// Runs fn(part) for part 0 .. parts-1 at the same time, on the pool and on
// the calling thread, and returns once all have run; the first exception one
// of them threw is thrown here then. A part no pool thread took runs on the
// calling thread, so that a pass never waits for a busy pool.
template <typename Fn>
void RunParts(int parts, Fn fn)
{
    std::vector<std::exception_ptr> errors(std::size_t(std::max(parts, 1)));
    const auto run = [&](int part) {
        try {
            fn(part);
        } catch (...) {
            errors[std::size_t(part)] = std::current_exception();
        }
    };
    std::vector<TPoolTask> helpers;
    helpers.reserve(std::size_t(std::max(parts - 1, 0)));
    for (int part = 1; part < parts; ++part)
        helpers.emplace_back([&run, part] { run(part); });
    run(0);
    // A helper not started yet is taken from the pool and run here.
    for (TPoolTask& helper : helpers)
        helper.Wait();
    for (const std::exception_ptr& error : errors)
        if (error)
            std::rethrow_exception(error);
}
