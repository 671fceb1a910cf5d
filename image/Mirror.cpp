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

void ReverseWords(const std::uint32_t* __restrict src, std::uint32_t* __restrict dst, int n)
{
    for (int x = 0; x < n; ++x)
        dst[x] = src[n - 1 - x];
}

} // namespace

void MirrorHorizontally(TBitmap& bitmap)
{
    if (bitmap.Empty())
        return;
    const int width = bitmap.Width();
    const int height = bitmap.Height();
    const bool colour = bitmap.BytesPerPixel() == 4;
    const int rowBytes = colour ? 4 * width : width;

    // Each row is reversed byte for byte (8-bit) or pixel for pixel (32-bit)
    // through a one-row buffer, so every pixel keeps its exact bytes, even
    // where the palette holds one colour twice, and no second picture's worth
    // of fresh memory is needed. A picture shared with another bitmap becomes
    // its own copy at the first write; the other keeps the old pixels.
    const std::unique_ptr<std::uint8_t[]> saved(new std::uint8_t[std::size_t(rowBytes)]);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bitmap.ScanLine(y);
        std::memcpy(saved.get(), row, std::size_t(rowBytes));
        if (colour)
            ReverseWords(reinterpret_cast<const std::uint32_t*>(saved.get()), reinterpret_cast<std::uint32_t*>(row),
                         width);
        else
            ReverseBytes(saved.get(), row, width);
    }

    // The mirrored picture goes back through a temporary bitmap, so that the
    // picture's change notification redraws whatever shows it.
    TBitmap tmp;
    tmp.Assign(bitmap);
    bitmap.Assign(tmp);
}
