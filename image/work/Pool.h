// The one pool of threads all long work runs on: the work itself (opening,
// saving, the commands) and every parallel pass within it.
#pragma once

#include <QFuture>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <atomic>
#include <exception>
#include <vector>

// As many threads as the machine has cores. A pool of its own: Qt's global
// pool serves Qt itself (painting, image conversions), which waits for it
// and must not find it full of long work.
QThreadPool& WorkPool();

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
    std::vector<QFuture<void>> helpers;
    helpers.reserve(std::size_t(std::max(parts - 1, 0)));
    for (int part = 1; part < parts; ++part)
        helpers.push_back(QtConcurrent::run(&WorkPool(), run, part));
    run(0);
    // A helper not started yet is taken from the pool and run here.
    for (QFuture<void>& helper : helpers)
        helper.waitForFinished();
    for (const std::exception_ptr& error : errors)
        if (error)
            std::rethrow_exception(error);
}
