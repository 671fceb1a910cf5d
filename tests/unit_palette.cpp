// Palette pictures (8 bits whose palette is not the grey ramp): complement
// works on the palette's colours and edge detection on the pixels' colours,
// while grey-ramp pictures keep the byte operations.
#include "image/operations/Operations.h"
#include "support/PixelReference.h"
#include "support/TestPictures.h"

#include <gtest/gtest.h>

using namespace testpictures;

namespace {

// Sixteen colours (one half transparent) in a 16-entry palette, padded to 256
// with black as the files bring it, in flat 4 x 4 blocks.
QImage SixteenColours(int width, int height)
{
    QList<QRgb> palette;
    for (int i = 0; i < 16; ++i)
        palette << qRgba(17 * i, (40 * i + 30) % 256, 255 - 13 * i, i == 5 ? 128 : 255);
    return Palette(width, height, palette, [](int x, int y) { return (x / 4 + 3 * (y / 4)) % 16; });
}

QList<QRgb> PaletteOf(const TBitmap& bitmap)
{
    QList<QRgb> out;
    for (int i = 0; i < 256; ++i)
        out << bitmap.PaletteEntry(i);
    return out;
}

TEST(PalettePictures, ComplementInvertsThePaletteAndTwiceRestoresIt)
{
    TBitmap bitmap;
    bitmap.SetImage(SixteenColours(24, 20));
    ASSERT_TRUE(IsPalettePicture(bitmap));
    const QByteArray bytes = Bytes(bitmap);
    const QList<QRgb> palette = PaletteOf(bitmap);
    int changes = 0;
    bitmap.OnChange = [&changes] { ++changes; };
    const qint64 key = bitmap.ChangeKey();

    Complement(bitmap);
    EXPECT_EQ(Bytes(bitmap), bytes) << "the pixel bytes stay";
    EXPECT_EQ(changes, 1);
    EXPECT_NE(bitmap.ChangeKey(), key) << "whatever shows the picture must see the new colours";
    for (int i = 0; i < 256; ++i) {
        const QRgb before = palette[i], now = bitmap.PaletteEntry(i);
        ASSERT_EQ(now, reference::Complement(before)) << i;
    }
    // Every pixel shows the exact negative of its colour.
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 24; ++x) {
            const QRgb was = palette[std::uint8_t(bytes[y * 24 + x])];
            ASSERT_EQ(bitmap.Canvas()->Pixels(x, y), ColorFromRgb(reference::Complement(was)));
        }

    Complement(bitmap);
    EXPECT_EQ(PaletteOf(bitmap), palette);
    EXPECT_EQ(bitmap.Image().colorTable(), palette);
    EXPECT_EQ(Bytes(bitmap), bytes);
}

// Grey-ramp pictures keep the byte operations (the row kernels' test checks
// their bytes against the reference); one entry off the ramp makes a palette
// picture; colour pictures are not.
TEST(PalettePictures, OnlyPicturesOffTheGreyRampArePalettePictures)
{
    const QImage grey = Grey(9, 7, [](int x, int y) { return 30 * x + y; });
    TBitmap bitmap;
    bitmap.SetImage(grey);
    ASSERT_TRUE(bitmap.HasGreyRamp());
    EXPECT_FALSE(IsPalettePicture(bitmap));

    QImage offRamp = grey;
    offRamp.setColor(200, qRgb(200, 200, 201));
    bitmap.SetImage(offRamp);
    EXPECT_TRUE(IsPalettePicture(bitmap));
    bitmap.SetImage(RandomColour(3, 3, 1, false));
    EXPECT_FALSE(IsPalettePicture(bitmap));
    EXPECT_FALSE(bitmap.HasGreyRamp());
}

TEST(PalettePictures, EdgeDetectionFiltersTheColoursIntoAColourPicture)
{
    const QImage picture = SixteenColours(21, 18);
    TBitmap bitmap;
    bitmap.SetImage(picture);
    EdgeDetect(bitmap);
    ASSERT_EQ(bitmap.PixelFormat(), pf32bit);
    ASSERT_TRUE(bitmap.HasAlpha()) << "the palette's transparent entry keeps the alpha channel";

    // Each channel of each pixel is the Laplacian of that channel of the
    // pixels' colours, wrapping around the edges; alpha is kept.
    const QImage colours = picture.convertToFormat(QImage::Format_ARGB32);
    const auto at = [&](int x, int y) { return colours.pixel((x + 21) % 21, (y + 18) % 18); };
    int flatBlack = 0;
    for (int y = 0; y < 18; ++y)
        for (int x = 0; x < 21; ++x) {
            int channel[3];
            for (int c = 0; c < 3; ++c) {
                const int shift = 16 - 8 * c; // red, green, blue
                const auto part = [shift](QRgb rgb) { return int(rgb >> shift) & 0xFF; };
                int v = 8 * part(at(x, y));
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        if (dx != 0 || dy != 0)
                            v -= part(at(x + dx, y + dy));
                channel[c] = v < 0 ? 0 : v > 255 ? 255 : v;
            }
            const QRgb got = reinterpret_cast<const QRgb*>(bitmap.ScanLine(y))[x];
            ASSERT_EQ(got, qRgba(channel[0], channel[1], channel[2], qAlpha(at(x, y)))) << x << "," << y;
            flatBlack += x % 4 == 1 && y % 4 == 1 && x < 20 && y < 16 && (got & 0xFFFFFF) == 0;
        }
    EXPECT_EQ(flatBlack, 5 * 4) << "the inside of a flat block has no edge";
}

} // namespace
