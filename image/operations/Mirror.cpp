#include "image/bitmap/Bitmap.h"
#include "image/kernels/Kernels.h"
#include "image/operations/Operations.h"

#include <cstdint>

void MirrorHorizontally(TBitmap& bitmap)
{
    if (bitmap.Empty())
        return;
    const int width = bitmap.Width();
    const int height = bitmap.Height();
    const bool colour = bitmap.BytesPerPixel() == 4;

    // Each row is reversed in place, byte for byte (8-bit) or pixel for pixel
    // (32-bit), so every pixel keeps its exact bytes, even where the palette
    // holds one colour twice, and no second picture's worth of fresh memory
    // is needed. A picture shared with another bitmap becomes its own copy at
    // the first write; the other keeps the old pixels. The row two below is
    // fetched meanwhile.
    const auto reverseWords = kernels::ReverseWords();
    const auto reverseBytes = kernels::ReverseBytes();
    const TBitmap& source = bitmap;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bitmap.ScanLine(y);
        const std::uint8_t* ahead = y + 2 < height ? source.ScanLine(y + 2) : nullptr;
        if (colour)
            reverseWords(reinterpret_cast<std::uint32_t*>(row), width, ahead);
        else
            reverseBytes(row, width, ahead);
    }

    // The mirrored picture goes back through a temporary bitmap, so that the
    // picture's change notification redraws whatever shows it.
    TBitmap tmp;
    tmp.Assign(bitmap);
    bitmap.Assign(tmp);
}
