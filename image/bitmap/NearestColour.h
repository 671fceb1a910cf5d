// The palette entry nearest a colour by squared distance (of equally near
// entries the lower index), and the distance to the next nearest, every
// entry compared at once by the vector kernel.
#pragma once

#include "image/kernels/Kernels.h"

#include <QRgb>

#include <cstdint>
#include <span>

class TNearestColour {
public:
    struct Found {
        int index;
        int best, second; // squared distances
    };
    TNearestColour() = default; // no palette yet: Of must not be called
    // palette: at most 256 entries, their alpha not looked at.
    explicit TNearestColour(std::span<const QRgb> palette)
        : kernel_(kernels::Nearest()),
          n_((int(palette.size()) + kernels::kNearestBlock - 1) / kernels::kNearestBlock * kernels::kNearestBlock)
    {
        for (int i = 0; i < n_; ++i) {
            const bool in = i < int(palette.size());
            red_[i] = in ? qRed(palette[std::size_t(i)]) : kernels::kFarAway;
            green_[i] = in ? qGreen(palette[std::size_t(i)]) : kernels::kFarAway;
            blue_[i] = in ? qBlue(palette[std::size_t(i)]) : kernels::kFarAway;
        }
    }
    Found Of(int r, int g, int b) const
    {
        std::uint32_t keys[2];
        kernel_(red_, green_, blue_, n_, r, g, b, keys);
        return {int(keys[0] & 255), int(keys[0] >> 8), int(keys[1] >> 8)};
    }
    int IndexOf(QRgb rgb) const { return Of(qRed(rgb), qGreen(rgb), qBlue(rgb)).index; }

private:
    kernels::NearestKernel kernel_ = nullptr;
    int n_ = 0; // the palette's size rounded up to the kernel's block
    alignas(64) std::int32_t red_[256] = {}, green_[256] = {}, blue_[256] = {};
};
