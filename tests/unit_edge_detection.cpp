#include "image/Operations.h"
#include "support/Reference.h"
#include "support/TestPictures.h"

#include <gtest/gtest.h>

using namespace testpictures;

namespace {

QByteArray Filtered(const QImage& image)
{
    TBitmap bitmap;
    bitmap.SetImage(image);
    EdgeDetect(bitmap);
    return Bytes(bitmap);
}

QByteArray BytesOf(const QImage& image)
{
    TBitmap bitmap;
    bitmap.SetImage(image);
    return Bytes(bitmap);
}

int Level(const TBitmap& bitmap, int x, int y) { return bitmap.ScanLine(y)[x]; }

} // namespace

TEST(EdgeDetect, MatchesTheReferenceOnSmoothPictures)
{
    // Random noise clamps almost everything to 0 or 255; gentle ramps with
    // small bumps exercise the values in between.
    const QImage grey = Grey(53, 29, [](int x, int y) { return (x * 3 + y * 5 + (x * y) % 7) & 0xFF; });
    EXPECT_EQ(Filtered(grey), reference::Laplacian(grey));
    const QImage colour = Colour(
        37, 19, [](int x, int y) { return qRgba((x * 7) & 0xFF, (y * 11 + x) & 0xFF, (x * y) & 0xFF, x * 6); }, true);
    EXPECT_EQ(Filtered(colour), reference::Laplacian(colour));
}

TEST(EdgeDetect, UniformPictureBecomesBlackBorderIncluded)
{
    TBitmap bitmap;
    bitmap.SetImage(Grey(9, 6, 173));
    EdgeDetect(bitmap);
    EXPECT_EQ(Bytes(bitmap), QByteArray(9 * 6, '\0'));
}

TEST(EdgeDetect, SingleBrightPixelStaysAndSoDoesItsBlackSurrounding)
{
    const QImage input = Grey(7, 5, [](int x, int y) { return x == 3 && y == 2 ? 255 : 0; });
    TBitmap bitmap;
    bitmap.SetImage(input);
    EdgeDetect(bitmap);
    EXPECT_EQ(Bytes(bitmap), BytesOf(input));
}

TEST(EdgeDetect, DarkCornerPixelLightsItsWrappedNeighbours)
{
    const int w = 6;
    const int h = 5;
    TBitmap bitmap;
    bitmap.SetImage(Grey(w, h, [](int x, int y) { return x == 0 && y == 0 ? 50 : 100; }));
    EdgeDetect(bitmap);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const bool neighbour = (x <= 1 || x == w - 1) && (y <= 1 || y == h - 1) && !(x == 0 && y == 0);
            EXPECT_EQ(Level(bitmap, x, y), neighbour ? 50 : 0) << x << ", " << y;
        }
    }
}

TEST(EdgeDetect, OnePixelPictureBecomesZero)
{
    TBitmap grey;
    grey.SetImage(Grey(1, 1, 200));
    EdgeDetect(grey);
    EXPECT_EQ(Level(grey, 0, 0), 0);

    TBitmap colour;
    colour.SetImage(Colour(1, 1, [](int, int) { return qRgba(10, 20, 30, 77); }, true));
    EdgeDetect(colour);
    EXPECT_EQ(colour.Image().pixel(0, 0), qRgba(0, 0, 0, 77));
}

TEST(EdgeDetect, SecondPassFiltersTheFilteredPicture)
{
    // Once: a ring of 50 around a 0 corner; twice: the ring's pixels, each
    // with four dark neighbours, go up to 200.
    const QImage input = Grey(8, 6, [](int x, int y) { return x == 0 && y == 0 ? 50 : 100; });
    TBitmap bitmap;
    bitmap.SetImage(input);
    EdgeDetect(bitmap);
    const QByteArray once = Bytes(bitmap);
    const QImage onceImage = bitmap.Image().copy();
    EdgeDetect(bitmap);
    EXPECT_NE(Bytes(bitmap), once);
    EXPECT_EQ(Level(bitmap, 1, 0), 200); // 8 x 50 - 4 x 50
    EXPECT_EQ(Bytes(bitmap), reference::Laplacian(onceImage));
}

TEST(EdgeDetect, ColourChannelsAreFilteredApartAndAlphaIsKept)
{
    // Red is uniform (all 0 after), green has one bright pixel (kept), blue
    // is a vertical stripe; alpha varies and must come back unchanged.
    const QImage input = Colour(
        5, 4,
        [](int x, int y) { return qRgba(120, x == 2 && y == 1 ? 255 : 0, x == 3 ? 200 : 0, 16 * x + y); }, true);
    TBitmap bitmap;
    bitmap.SetImage(input);
    EdgeDetect(bitmap);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 5; ++x) {
            const QRgb p = bitmap.Image().pixel(x, y);
            EXPECT_EQ(qRed(p), 0);
            EXPECT_EQ(qGreen(p), x == 2 && y == 1 ? 255 : 0);
            EXPECT_EQ(qBlue(p), x == 3 ? 255 : 0); // 8*200 - 2*200 clamped; sides 0 - 600 clamped
            EXPECT_EQ(qAlpha(p), 16 * x + y);
        }
    }
}

TEST(EdgeDetect, LeavesOtherHoldersOfThePicturesPixelsAlone)
{
    const QImage input = RandomGrey(33, 21, 99);
    TBitmap bitmap;
    bitmap.SetImage(input);
    TBitmap earlier;
    earlier.Assign(bitmap);
    const qint64 key = bitmap.ChangeKey();
    EdgeDetect(bitmap);
    EXPECT_EQ(Bytes(earlier), BytesOf(input));
    EXPECT_NE(bitmap.ChangeKey(), key);
}

TEST(EdgeDetect, EmptyBitmapStaysEmpty)
{
    TBitmap bitmap;
    EdgeDetect(bitmap);
    EXPECT_TRUE(bitmap.Empty());
}
