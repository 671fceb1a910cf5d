// Passes over the rows of a 32-bit picture that report their progress.
#pragma once

#include "image/work/Pool.h"
#include "image/work/Progress.h"

#include <QImage>

#include <algorithm>
#include <atomic>
#include <cstdint>

// Rows per band: progress advances and cancellation is looked at once a band.
constexpr int kRowBand = 64;

// Calls fn(y, row) for the rows of image from the top while it returns true;
// false when fn stopped the pass. progress advances one step per row, the
// rows a stopped pass leaves out included, so that every pass adds the same
// amount; a cancelled one throws TCancelled between bands.
template <typename Fn>
bool ForEachRowBand(const QImage& image, TProgress* progress, Fn fn)
{
    const int h = image.height();
    for (int y0 = 0; y0 < h; y0 += kRowBand) {
        CheckCancel(progress);
        const int y1 = std::min(h, y0 + kRowBand);
        for (int y = y0; y < y1; ++y)
            if (!fn(y, reinterpret_cast<const std::uint32_t*>(image.constScanLine(y)))) {
                Advance(progress, h - y0);
                return false;
            }
        Advance(progress, y1 - y0);
    }
    return true;
}

// How many parts a pass over a picture of this many pixels is split into:
// one per thread of the pool (at most four, where memory stops keeping up),
// and only one for a picture that takes no time.
constexpr int kMostRowParts = 4;
inline int RowParts(qint64 pixels)
{
    if (pixels < (qint64(1) << 20))
        return 1;
    return std::clamp(WorkPool().maxThreadCount(), 1, kMostRowParts);
}

// Calls fn(part, y, row) for every row of image, the rows cut into parts
// bands of rows run at once on the work pool (RunParts). progress advances
// one step per row; a cancel, or anything fn throws, stops every part
// between bands of rows and is thrown here once all have stopped.
template <typename Fn>
void ForEachRowInParts(const QImage& image, TProgress* progress, int parts, Fn fn)
{
    const int h = image.height();
    std::atomic<bool> stop{false};
    RunParts(std::max(parts, 1), [&](int part) {
        try {
            const int end = int(qint64(h) * (part + 1) / parts);
            for (int y0 = int(qint64(h) * part / parts); y0 < end && !stop.load(); y0 += kRowBand) {
                CheckCancel(progress);
                const int y1 = std::min(end, y0 + kRowBand);
                for (int y = y0; y < y1; ++y)
                    fn(part, y, reinterpret_cast<const std::uint32_t*>(image.constScanLine(y)));
                Advance(progress, y1 - y0);
            }
        } catch (...) {
            stop.store(true);
            throw;
        }
    });
}
