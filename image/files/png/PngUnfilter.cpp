#include "image/files/png/PngUnfilter.h"
#include "image/files/png/PngChunks.h"

#include <cstring>

namespace {

// The loops with the pixel size a constant, so that the compiler unrolls
// the bytes of a pixel.
template <int Bpp>
void Unfilter(int filter, const std::uint8_t* in, const std::uint8_t* prev, std::uint8_t* out, std::size_t n)
{
    const std::size_t first = n < std::size_t(Bpp) ? n : std::size_t(Bpp);
    switch (filter) {
    case 1: // Sub
        std::memcpy(out, in, first);
        for (std::size_t i = Bpp; i < n; ++i)
            out[i] = std::uint8_t(in[i] + out[i - Bpp]);
        break;
    case 2: // Up
        for (std::size_t i = 0; i < n; ++i)
            out[i] = std::uint8_t(in[i] + prev[i]);
        break;
    case 3: // Average
        for (std::size_t i = 0; i < first; ++i)
            out[i] = std::uint8_t(in[i] + (prev[i] >> 1));
        for (std::size_t i = Bpp; i < n; ++i)
            out[i] = std::uint8_t(in[i] + ((out[i - Bpp] + prev[i]) >> 1));
        break;
    case 4: // Paeth
        for (std::size_t i = 0; i < first; ++i)
            out[i] = std::uint8_t(in[i] + prev[i]);
        for (std::size_t i = Bpp; i < n; ++i)
            out[i] = std::uint8_t(in[i] + Paeth(out[i - Bpp], prev[i], prev[i - Bpp]));
        break;
    default: // None
        std::memcpy(out, in, n);
        break;
    }
}

} // namespace

bool UnfilterRow(int filter, const std::uint8_t* in, const std::uint8_t* prev, std::uint8_t* out, std::size_t n,
                 int bpp)
{
    if (filter < 0 || filter > 4)
        return false;
    bpp == 1 ? Unfilter<1>(filter, in, prev, out, n)
    : bpp == 3 ? Unfilter<3>(filter, in, prev, out, n)
               : Unfilter<4>(filter, in, prev, out, n);
    return true;
}

void RgbToPixels(const std::uint8_t* in, std::uint32_t* out, int width)
{
    for (int x = 0; x < width; ++x, in += 3)
        out[x] = 0xFF000000u | std::uint32_t(in[0]) << 16 | std::uint32_t(in[1]) << 8 | in[2];
}

void RgbaToPixels(const std::uint8_t* in, std::uint32_t* out, int width)
{
    for (int x = 0; x < width; ++x, in += 4)
        out[x] = std::uint32_t(in[3]) << 24 | std::uint32_t(in[0]) << 16 | std::uint32_t(in[1]) << 8 | in[2];
}
