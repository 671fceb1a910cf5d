#include "Graphics.h"
#include "Operations.h"

#include <cstdint>
#include <cstring>
#include <memory>

namespace {

// dst gets src's n bytes in reverse order, eight at a time through a byte
// swap of 64-bit words.
void ReverseBytes(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst, int n)
{
    int k = 0;
    for (; k + 8 <= n; k += 8) {
        std::uint64_t word;
        std::memcpy(&word, src + k, 8);
        word = __builtin_bswap64(word);
        std::memcpy(dst + n - 8 - k, &word, 8);
    }
    for (; k < n; ++k)
        dst[n - 1 - k] = src[k];
}

// Reverses n 32-bit pixels in place, swapping the two halves' mirror pairs.
void ReverseWords(std::uint32_t* row, int n)
{
    std::uint32_t* __restrict left = row;
    std::uint32_t* __restrict right = row + (n + 1) / 2; // the odd middle pixel stays
    const int half = n / 2;
    for (int x = 0; x < half; ++x) {
        const std::uint32_t a = left[x];
        left[x] = right[half - 1 - x];
        right[half - 1 - x] = a;
    }
}

} // namespace

void MirrorHorizontally(TBitmap& bitmap)
{
    if (bitmap.Empty())
        return;
    const int width = bitmap.Width();
    const int height = bitmap.Height();
    const bool colour = bitmap.BytesPerPixel() == 4;

    // Each row is reversed in place, byte for byte (8-bit, through a one-row
    // buffer) or pixel for pixel (32-bit), so every pixel keeps its exact bytes, even
    // where the palette holds one colour twice, and no second picture's worth
    // of fresh memory is needed. A picture shared with another bitmap becomes
    // its own copy at the first write; the other keeps the old pixels.
    if (colour) {
        for (int y = 0; y < height; ++y)
            ReverseWords(reinterpret_cast<std::uint32_t*>(bitmap.ScanLine(y)), width);
    } else {
        const std::unique_ptr<std::uint8_t[]> saved(new std::uint8_t[std::size_t(width)]);
        for (int y = 0; y < height; ++y) {
            std::uint8_t* row = bitmap.ScanLine(y);
            std::memcpy(saved.get(), row, std::size_t(width));
            ReverseBytes(saved.get(), row, width);
        }
    }

    // The mirrored picture goes back through a temporary bitmap, so that the
    // picture's change notification redraws whatever shows it.
    TBitmap tmp;
    tmp.Assign(bitmap);
    bitmap.Assign(tmp);
}
