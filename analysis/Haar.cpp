#include "Analysis.h"

void HaarStep()
{
    // Each entry depends only on the two captured entries of its pair, so the
    // pairs are walked column by column (contiguous in this layout) in one
    // pass that writes the channel and both halves of the Haar matrix.
    constexpr int half = MatrixSize / 2;
    for (int m = 0; m < half; ++m) {
        const std::int32_t* even = &CaptureMatrix[(2 * m) * MatrixSize];
        const std::int32_t* odd = &CaptureMatrix[(2 * m + 1) * MatrixSize];
        std::int32_t* channelEven = &ChannelMatrix[(2 * m) * MatrixSize];
        std::int32_t* channelOdd = &ChannelMatrix[(2 * m + 1) * MatrixSize];
        std::int32_t* sum = &HaarMatrix[m * MatrixSize];
        std::int32_t* difference = &HaarMatrix[(half + m) * MatrixSize];
        for (int y = 0; y < MatrixSize; ++y) {
            const std::int32_t a = even[y] >> 16;
            const std::int32_t b = odd[y] >> 16;
            channelEven[y] = a;
            channelOdd[y] = b;
            sum[y] = a + b;
            difference[y] = a - b;
        }
    }
}
