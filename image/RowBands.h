// Passes over the rows of a 32-bit picture that report their progress.
#pragma once

#include "Progress.h"

#include <QImage>

#include <algorithm>
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
