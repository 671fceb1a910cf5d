// Brings the memory of a new picture in ahead of the code that fills it.
#pragma once

#include "image/work/Pool.h"

#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>

// Brings the new image's memory in (the system maps and clears each page
// at its first write) on a thread of the work pool, ahead of the decoder, so
// that the decoding thread only decodes. Rows are handed over through
// ready_: the pool's thread writes only rows at or past it, the decoder only
// rows below. When no thread of the pool is free the decoder faults the
// pages in itself.
class TPrefault {
public:
    TPrefault(std::uint8_t* bits, qsizetype line, int height) : bits_(bits), line_(line), height_(height)
    {
        if (!WorkPool().tryStart([this] { Run(); }))
            ready_.store(height_, std::memory_order_release);
        else
            started_ = true;
    }
    ~TPrefault()
    {
        stop_.store(true, std::memory_order_relaxed);
        // The pool's thread touches nothing of this after its last store.
        while (started_ && !finished_.load(std::memory_order_acquire))
            std::this_thread::yield();
    }
    TPrefault(const TPrefault&) = delete;
    TPrefault& operator=(const TPrefault&) = delete;

    // Waits until row y is the decoder's.
    void WaitFor(int y) const
    {
        while (ready_.load(std::memory_order_acquire) <= y)
            std::this_thread::yield();
    }

private:
    void Run()
    {
        constexpr qsizetype kPage = 4096;
        const int step = int(std::max<qsizetype>(1, (qsizetype(1) << 20) / line_)); // about 1 MiB at a time
        for (int y = 0; y < height_; y += step) {
            const int end = std::min(height_, y + step);
            if (stop_.load(std::memory_order_relaxed))
                break;
            for (qsizetype at = qsizetype(y) * line_; at < qsizetype(end) * line_; at += kPage)
                bits_[at] = 0;
            ready_.store(end, std::memory_order_release);
        }
        ready_.store(height_, std::memory_order_release);
        finished_.store(true, std::memory_order_release);
    }

    // The image's memory, taken once by the decoding thread: the other
    // thread never calls the image's own functions.
    std::uint8_t* const bits_;
    const qsizetype line_;
    const int height_;
    std::atomic<int> ready_{0};
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    bool started_ = false;
};
