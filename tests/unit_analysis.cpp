// The capture into CaptureMatrix and the Haar step over it. The matrices are
// process-wide, so each test first captures a full 512 x 512 picture to put
// them into a known state.
#include "analysis/Analysis.h"
#include "image/Graphics.h"
#include "support/TestPictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using namespace testpictures;

namespace {

void Capture(const QImage& image)
{
    TBitmap bitmap;
    bitmap.SetImage(image);
    CaptureBitmap(bitmap);
}

// Every entry of the matrix set to a known value through a full capture.
void ResetCapture(int level = 0) { Capture(Grey(MatrixSize, MatrixSize, level)); }

} // namespace

TEST(Capture, StoresWholeColoursColumnFirst)
{
    ResetCapture();
    Capture(Grey(4, 4, [](int x, int y) { return x == 1 && y == 2 ? 128 : x == 2 && y == 1 ? 77 : 5; }));
    EXPECT_EQ(CaptureMatrix[514], RGB(128, 128, 128));
    EXPECT_EQ(CaptureMatrix[1025], RGB(77, 77, 77));
    EXPECT_EQ(At(CaptureMatrix, 3, 3), RGB(5, 5, 5));
    EXPECT_EQ(At(CaptureMatrix, 4, 0), 0) << "outside the captured area";

    // Colour pictures are converted to 8 bits first, then captured.
    const QRgb colours[] = {qRgb(200, 10, 10), qRgb(10, 200, 30), qRgb(1, 2, 250)};
    TBitmap bitmap;
    bitmap.SetImage(Colour(3, 2, [&](int x, int) { return colours[x]; }));
    CaptureBitmap(bitmap);
    EXPECT_EQ(bitmap.PixelFormat(), pf8bit);
    for (int x = 0; x < 3; ++x)
        EXPECT_EQ(At(CaptureMatrix, x, 1), ColorFromRgb(colours[x])) << x;
}

TEST(Capture, ASmallerPictureLeavesTheRestAsItWas)
{
    ResetCapture();
    Capture(Grey(5, 5, 50));
    Capture(Grey(3, 3, 30));
    for (int x = 0; x < 6; ++x)
        for (int y = 0; y < 6; ++y) {
            const int expected = x < 3 && y < 3 ? 30 : x < 5 && y < 5 ? 50 : 0;
            EXPECT_EQ(At(CaptureMatrix, x, y), RGB(expected, expected, expected)) << x << "," << y;
        }
}

TEST(Capture, NothingIsCapturedFromAnEmptyPicture)
{
    ResetCapture(9);
    TBitmap empty;
    CaptureBitmap(empty);
    EXPECT_TRUE(empty.Empty());
    for (int i = 0; i < MatrixSize * MatrixSize; ++i)
        ASSERT_EQ(CaptureMatrix[i], RGB(9, 9, 9)) << i;
}

TEST(Capture, LargePicturesGiveTheirTopLeftCornerOnly)
{
    // Guard zones around the matrix catch any write outside it (the sanitizer
    // build catches them too).
    ResetCapture();
    Capture(Grey(600, 700, [](int x, int y) { return (x * 3 + y * 7) & 0xFF; }));
    for (int x = 0; x < MatrixSize; x += 37)
        for (int y = 0; y < MatrixSize; y += 41) {
            const int level = (x * 3 + y * 7) & 0xFF;
            ASSERT_EQ(At(CaptureMatrix, x, y), RGB(level, level, level));
        }
    const int level = (511 * 3 + 511 * 7) & 0xFF;
    EXPECT_EQ(At(CaptureMatrix, 511, 511), RGB(level, level, level));
}

TEST(Capture, DoesNotTouchTheDerivedMatrices)
{
    ResetCapture(100);
    HaarStep();
    static TMatrix channel, haar;
    std::memcpy(channel, ChannelMatrix, sizeof channel);
    std::memcpy(haar, HaarMatrix, sizeof haar);
    Capture(RandomGrey(40, 30, 1));
    EXPECT_EQ(std::memcmp(channel, ChannelMatrix, sizeof channel), 0);
    EXPECT_EQ(std::memcmp(haar, HaarMatrix, sizeof haar), 0);
}

TEST(HaarStep, SumsAndDifferencesOfNeighbouringColumns)
{
    ResetCapture();
    Capture(Grey(2, 6, [](int x, int) { return x == 0 ? 10 : 30; }));
    HaarStep();
    EXPECT_EQ(ChannelMatrix[4], 10);
    EXPECT_EQ(ChannelMatrix[5], 10);
    EXPECT_EQ(HaarMatrix[2], 40);
    EXPECT_EQ(HaarMatrix[258], 0);
    for (int y = 0; y < 6; ++y) {
        EXPECT_EQ(At(HaarMatrix, 0, y), 40);
        EXPECT_EQ(At(HaarMatrix, 256, y), -20) << y;
    }
    EXPECT_EQ(At(HaarMatrix, 256, 6), 0);
}

TEST(HaarStep, MatchesTheDefinitionOnRandomEntries)
{
    // Arbitrary 32-bit entries, negative ones included: the shift is
    // arithmetic and every entry of both matrices is rewritten.
    std::uint32_t state = 12345;
    for (int i = 0; i < MatrixSize * MatrixSize; ++i) {
        state = state * 1664525u + 1013904223u;
        CaptureMatrix[i] = std::int32_t(state);
    }
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
