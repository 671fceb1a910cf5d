// The capture into CaptureMatrix and the Haar step over it. The matrices are
// process-wide: each test first fills them, the capture with a full 512 x 512
// picture, the Haar step with arbitrary entries.
#include "analysis/Analysis.h"
#include "image/bitmap/Graphics.h"
#include "support/TestPictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using namespace testpictures;

// Captures in a row, each over what the one before left: inside the
// picture's top-left 512 x 512 area every entry is the colour of the picture
// as converted to 8 bits (colour pictures are converted in place), column
// first; every other entry stays as it was; an empty picture captures nothing.
TEST(Capture, TakesTheTopLeftCornerOfTheEightBitPictureAndLeavesTheRest)
{
    const QRgb colours[] = {qRgb(200, 10, 10), qRgb(10, 200, 30), qRgb(1, 2, 250)};
    const struct {
        const char* what;
        QImage picture;
    } table[] = {{"the whole matrix", Grey(MatrixSize, MatrixSize, 9)},
                 {"empty", QImage()},
                 {"5 x 5", Grey(5, 5, 50)},
                 {"smaller than the last", Grey(3, 3, 30)},
                 {"4 x 4", Grey(4, 4, [](int x, int y) { return x == 1 && y == 2 ? 128 : x == 2 && y == 1 ? 77 : 5; })},
                 {"colours", Colour(3, 2, [&](int x, int) { return colours[x]; })},
                 {"larger than the matrix", Grey(600, 700, [](int x, int y) { return (x * 3 + y * 7) & 0xFF; })},
                 {"random colours", RandomColour(40, 30, 1, false)}};
    static TMatrix before;
    for (const auto& row : table) {
        SCOPED_TRACE(row.what);
        std::memcpy(before, CaptureMatrix, sizeof before);
        TBitmap bitmap;
        if (!row.picture.isNull())
            bitmap.SetImage(row.picture);
        CaptureBitmap(bitmap);
        EXPECT_EQ(bitmap.Empty(), row.picture.isNull());
        if (!bitmap.Empty()) {
            EXPECT_EQ(bitmap.PixelFormat(), pf8bit);
        }
        const int w = std::min(bitmap.Width(), MatrixSize);
        const int h = std::min(bitmap.Height(), MatrixSize);
        for (int x = 0; x < MatrixSize; ++x)
            for (int y = 0; y < MatrixSize; ++y)
                ASSERT_EQ(CaptureMatrix[x * MatrixSize + y],
                          x < w && y < h ? bitmap.Canvas()->Pixels(x, y) : At(before, x, y))
                    << x << ", " << y;
    }
}

TEST(HaarStep, MatchesTheDefinitionOnRandomEntries)
{
    // Arbitrary 32-bit entries, negative ones included: the shift is
    // arithmetic and every entry of both matrices is rewritten.
    Random random(12345);
    for (int i = 0; i < MatrixSize * MatrixSize; ++i)
        CaptureMatrix[i] = std::int32_t(random());
    std::memset(ChannelMatrix, 0x55, sizeof ChannelMatrix);
    std::memset(HaarMatrix, 0x55, sizeof HaarMatrix);
    HaarStep();
    for (int y = 0; y < MatrixSize; ++y) {
        for (int x = 0; x < MatrixSize; ++x)
            ASSERT_EQ(At(ChannelMatrix, x, y), At(CaptureMatrix, x, y) >> 16) << x << "," << y;
        for (int m = 0; m < MatrixSize / 2; ++m) {
            ASSERT_EQ(At(HaarMatrix, m, y), At(ChannelMatrix, 2 * m, y) + At(ChannelMatrix, 2 * m + 1, y));
            ASSERT_EQ(At(HaarMatrix, 256 + m, y), At(ChannelMatrix, 2 * m, y) - At(ChannelMatrix, 2 * m + 1, y));
        }
    }
    EXPECT_LT(*std::min_element(ChannelMatrix, ChannelMatrix + MatrixSize * MatrixSize), 0);
}
