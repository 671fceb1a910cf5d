// The picture commands on pictures small enough to work out by hand (the
// row kernels' test compares them with the plain reference on many sizes),
// and what every command keeps: a copy's pixels, one change notice, the
// picture's metadata, an empty picture empty.
#include "image/operations/Operations.h"
#include "support/Reference.h"
#include "support/TestPictures.h"

#include <gtest/gtest.h>

using namespace testpictures;

namespace {

// A dark pixel at (0, 0) in a picture of 100s, and the ring of 50s the edge
// filter makes of it: its eight neighbours, wrapping round the edges.
int DarkCorner(int x, int y) { return x == 0 && y == 0 ? 50 : 100; }
auto Ring(int w, int h)
{
    return [w, h](int x, int y) { return (x <= 1 || x == w - 1) && (y <= 1 || y == h - 1) && (x || y) ? 50 : 0; };
}

} // namespace

TEST(Operations, SmallPicturesComeOutAsWorkedOutByHand)
{
    const QRgb a = qRgb(200, 10, 30), b = qRgb(1, 2, 3), c = qRgb(90, 250, 7);
    const QImage bright = Grey(7, 5, [](int x, int y) { return x == 3 && y == 2 ? 255 : 0; });
    // Gentle ramps give responses between 0 and 255, which noise rarely does.
    const QImage smoothGrey = Grey(53, 29, [](int x, int y) { return (x * 3 + y * 5 + (x * y) % 7) & 0xFF; });
    const QImage smoothColour = Colour(
        37, 19, [](int x, int y) { return qRgba((x * 7) & 0xFF, (y * 11 + x) & 0xFF, (x * y) & 0xFF, x * 6); }, true);
    const struct {
        const char* what;
        void (*operation)(TBitmap&);
        QImage picture;
        QByteArray expected;
        int passes = 1;
    } table[] = {
        {"complement of grey levels", Complement,
         Grey(3, 1, [](int x, int) { return x == 0 ? 0 : x == 1 ? 255 : 128; }), QByteArray("\xff\x00\x7f", 3)},
        {"complement of colours keeps alpha", Complement,
         Colour(1, 1, [](int, int) { return qRgba(10, 20, 250, 77); }, true), QByteArray("\x05\xeb\xf5\x4d", 4)},
        {"mirror of three pixels", MirrorHorizontally,
         Colour(3, 1, [&](int x, int) { return x == 0 ? a : x == 1 ? b : c; }),
         Bytes(Colour(3, 1, [&](int x, int) { return x == 0 ? c : x == 1 ? b : a; }))},
        {"mirror of one column", MirrorHorizontally, RandomGrey(1, 9, 3), Bytes(RandomGrey(1, 9, 3))},
        {"edges of a uniform picture, border included", EdgeDetect, Grey(9, 6, 173), QByteArray(9 * 6, '\0')},
        {"a bright pixel and its black surrounding stay", EdgeDetect, bright, Bytes(bright)},
        {"a dark corner lights its wrapped neighbours", EdgeDetect, Grey(6, 5, DarkCorner),
         Bytes(Grey(6, 5, Ring(6, 5)))},
        // Twice: the ring's pixels next to two others of it go up to 8 x 50 - 4 x 50.
        {"a second pass filters the first one's result", EdgeDetect, Grey(8, 6, DarkCorner),
         reference::Laplacian(Grey(8, 6, Ring(8, 6))), 2},
        {"one grey pixel", EdgeDetect, Grey(1, 1, 200), QByteArray(1, '\0')},
        {"one colour pixel keeps its alpha", EdgeDetect,
         Colour(1, 1, [](int, int) { return qRgba(10, 20, 30, 77); }, true), QByteArray("\0\0\0\x4d", 4)},
        // Red uniform (all 0 after), green one bright pixel (kept), blue a
        // column (8 x 200 - 2 x 200 clamped; its sides 0 - 600 clamped).
        {"channels apart, alpha kept", EdgeDetect,
         Colour(5, 4, [](int x, int y) { return qRgba(120, x == 2 && y == 1 ? 255 : 0, x == 3 ? 200 : 0, 16 * x + y); },
                true),
         Bytes(Colour(
             5, 4, [](int x, int y) { return qRgba(0, x == 2 && y == 1 ? 255 : 0, x == 3 ? 255 : 0, 16 * x + y); },
             true))},
        {"smooth grey", EdgeDetect, smoothGrey, reference::Laplacian(smoothGrey)},
        {"smooth colour", EdgeDetect, smoothColour, reference::Laplacian(smoothColour)},
    };
    for (const auto& row : table) {
        TBitmap bitmap;
        bitmap.SetImage(row.picture);
        for (int i = 0; i < row.passes; ++i)
            row.operation(bitmap);
        EXPECT_EQ(Bytes(bitmap), row.expected) << row.what;
    }
}

// A copy made before the command keeps its pixels and palette; the command
// gives a new change key, so that what shows the picture redraws, and tells
// of the change once where it swaps the picture (mirror, palette pictures);
// the picture's resolution and texts stay; an empty picture stays empty and
// nothing is notified.
TEST(Operations, EachKeepsCopiesMetadataAndEmptyPictures)
{
    QImage grey = RandomGrey(12, 4, 77);
    const QImage palette = Palette(6, 3, {qRgb(0, 0, 0), qRgb(255, 0, 0), qRgba(0, 9, 255, 128)},
                                   [](int x, int y) { return (x + y) % 3; });
    const struct {
        const char* name;
        void (*operation)(TBitmap&);
    } operations[] = {{"complement", Complement}, {"edge detection", EdgeDetect}, {"mirror", MirrorHorizontally}};
    grey.setDotsPerMeterX(3780);
    grey.setDotsPerMeterY(1890);
    grey.setText(QStringLiteral("Comment"), QStringLiteral("scan"));
    for (const auto& [name, operation] : operations) {
        for (const QImage& picture : {grey, palette, RandomColour(9, 5, 7, true)}) {
            SCOPED_TRACE(std::string(name) + ", " + std::to_string(picture.depth()) + "-bit");
            TBitmap bitmap;
            bitmap.SetImage(picture);
            TBitmap copy;
            copy.Assign(bitmap);
            int notified = 0;
            bitmap.OnChange = [&] { ++notified; };
            const qint64 key = bitmap.ChangeKey();
            operation(bitmap);
            EXPECT_EQ(Bytes(copy), Bytes(picture));
            EXPECT_EQ(copy.Image().colorTable(), picture.colorTable());
            EXPECT_EQ(notified, int(operation == MirrorHorizontally || IsPalettePicture(copy)));
            EXPECT_NE(bitmap.ChangeKey(), key);
            EXPECT_EQ(bitmap.Image().dotsPerMeterX(), picture.dotsPerMeterX());
            EXPECT_EQ(bitmap.Image().dotsPerMeterY(), picture.dotsPerMeterY());
            EXPECT_EQ(bitmap.Image().text(), picture.text());
        }
        TBitmap empty;
        int notified = 0;
        empty.OnChange = [&] { ++notified; };
        operation(empty);
        EXPECT_TRUE(empty.Empty()) << name;
        EXPECT_EQ(notified, 0) << name;
    }
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
