#include "Graphics.h"
#include "Kernels.h"
#include "Operations.h"

#include <cstdint>
#include <cstring>
#include <memory>

void MirrorHorizontally(TBitmap& bitmap)
{
    if (bitmap.Empty())
        return;
    const int width = bitmap.Width();
    const int height = bitmap.Height();
    const bool colour = bitmap.BytesPerPixel() == 4;

    // Each row is copied into a one-row buffer (read front to back, as the
    // memory likes it best) and written back reversed, byte for byte (8-bit)
    // or pixel for pixel (32-bit), so every pixel keeps its exact bytes, even
    // where the palette holds one colour twice, and no second picture's worth
    // of fresh memory is needed. A picture shared with another bitmap becomes
    // its own copy at the first write; the other keeps the old pixels.
    const std::size_t rowBytes = std::size_t(width) * (colour ? 4 : 1);
    const std::unique_ptr<std::uint32_t[]> saved(new std::uint32_t[(rowBytes + 3) / 4]);
    const kernels::Table& k = kernels::Active();
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bitmap.ScanLine(y);
        std::memcpy(saved.get(), row, rowBytes);
        if (colour)
            k.reverseWords(saved.get(), reinterpret_cast<std::uint32_t*>(row), width);
        else
            k.reverseBytes(reinterpret_cast<const std::uint8_t*>(saved.get()), row, width);
    }

    // The mirrored picture goes back through a temporary bitmap, so that the
    // picture's change notification redraws whatever shows it.
    TBitmap tmp;
    tmp.Assign(bitmap);
    bitmap.Assign(tmp);
}
