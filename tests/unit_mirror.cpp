#include "image/Operations.h"
#include "support/Reference.h"
#include "support/TestPictures.h"

#include <gtest/gtest.h>

using namespace testpictures;

namespace {

QImage Sample(int kind, int w, int h, std::uint32_t seed)
{
    switch (kind) {
    case 0:
        return RandomGrey(w, h, seed);
    case 1:
        return RandomColour(w, h, seed, false);
    default:
        return RandomColour(w, h, seed, true);
    }
}

} // namespace

TEST(MirrorHorizontally, TwiceRestoresThePictureByteForByte)
{
    for (int kind = 0; kind < 3; ++kind) {
        const QImage input = Sample(kind, 37, 11, 40 + kind);
        TBitmap bitmap;
        bitmap.SetImage(input);
        const QByteArray before = Bytes(bitmap);
        MirrorHorizontally(bitmap);
        EXPECT_NE(Bytes(bitmap), before);
        MirrorHorizontally(bitmap);
        EXPECT_EQ(Bytes(bitmap), before) << "layout " << kind;
    }
}

TEST(MirrorHorizontally, OnePixelWideAndMiddleColumnStay)
{
    TBitmap narrow;
    narrow.SetImage(RandomGrey(1, 9, 3));
    const QByteArray before = Bytes(narrow);
    MirrorHorizontally(narrow);
    EXPECT_EQ(Bytes(narrow), before);

    TBitmap odd;
    odd.SetImage(RandomColour(5, 4, 8, true));
    const QImage original = odd.Image().copy();
    MirrorHorizontally(odd);
    for (int y = 0; y < 4; ++y)
        EXPECT_EQ(odd.Image().pixel(2, y), original.pixel(2, y));
}

TEST(MirrorHorizontally, ThreePixelRowComesOutReversed)
{
    const QRgb a = qRgb(200, 10, 30);
    const QRgb b = qRgb(1, 2, 3);
    const QRgb c = qRgb(90, 250, 7);
    TBitmap bitmap;
    bitmap.SetImage(Colour(3, 1, [&](int x, int) { return x == 0 ? a : x == 1 ? b : c; }));
    MirrorHorizontally(bitmap);
    EXPECT_EQ(bitmap.Canvas()->Pixels(0, 0), ColorFromRgb(c));
    EXPECT_EQ(bitmap.Canvas()->Pixels(1, 0), ColorFromRgb(b));
    EXPECT_EQ(bitmap.Canvas()->Pixels(2, 0), ColorFromRgb(a));
}

TEST(MirrorHorizontally, DuplicatePaletteEntriesKeepTheirBytes)
{
    // Entries 1 and 2 are the same red; a nearest-colour write would turn
    // every 2 into 1.
    const QList<QRgb> palette = {qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(255, 0, 0), qRgb(0, 0, 255)};
    const QImage input = Palette(6, 3, palette, [](int x, int y) { return (x + y) % 4; });
    TBitmap bitmap;
    bitmap.SetImage(input);
    MirrorHorizontally(bitmap);
    EXPECT_EQ(Bytes(bitmap), reference::Mirrored(input));
    EXPECT_EQ(bitmap.Image().colorTable(), input.colorTable());
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(bitmap.PaletteEntry(i), input.colorTable()[i]);
}

TEST(MirrorHorizontally, NotifiesOnceAndKeepsMetadata)
{
    QImage input = RandomGrey(12, 4, 77);
    input.setDotsPerMeterX(3780);
    input.setDotsPerMeterY(1890);
    input.setText(QStringLiteral("Comment"), QStringLiteral("scan"));
    TBitmap bitmap;
    bitmap.SetImage(input);
    int notified = 0;
    bitmap.OnChange = [&] { ++notified; };
    MirrorHorizontally(bitmap);
    EXPECT_EQ(notified, 1);
    EXPECT_EQ(bitmap.Image().dotsPerMeterX(), 3780);
    EXPECT_EQ(bitmap.Image().dotsPerMeterY(), 1890);
    EXPECT_EQ(bitmap.Image().text(QStringLiteral("Comment")), QStringLiteral("scan"));
}

TEST(MirrorHorizontally, EmptyBitmapStaysEmpty)
{
    TBitmap bitmap;
    int notified = 0;
    bitmap.OnChange = [&] { ++notified; };
    MirrorHorizontally(bitmap);
    EXPECT_TRUE(bitmap.Empty());
    EXPECT_EQ(notified, 0);
}
