// The picture layer: layouts after loading, conversion to 8 bits, Assign,
// single-pixel access, and picture files.
#include "image/bitmap/Graphics.h"
#include "image/operations/Operations.h"
#include "support/TestPictures.h"

#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>

#include <climits>
#include <functional>
#include <random>

#include <gtest/gtest.h>

using namespace testpictures;

namespace {

QImage Load(const QImage& image, const char* name, QTemporaryDir& dir)
{
    const QString path = dir.filePath(QString::fromLatin1(name));
    EXPECT_TRUE(image.save(path)) << name;
    TPicture picture;
    picture.LoadFromFile(path);
    return picture.Bitmap()->Image();
}

} // namespace

TEST(PictureLayouts, FilesLoadIntoTheThreeLayouts)
{
    QTemporaryDir dir;
    // A grey file: 8 bits under the grey ramp, byte = grey level.
    const QImage grey = Grey(5, 3, [](int x, int y) { return 40 * y + x; }).convertToFormat(QImage::Format_Grayscale8);
    QImage loaded = Load(grey, "grey.png", dir);
    ASSERT_EQ(loaded.format(), QImage::Format_Indexed8);
    ASSERT_EQ(loaded.colorCount(), 256);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(loaded.color(i), qRgb(i, i, i)) << i;
    EXPECT_EQ(loaded.constScanLine(2)[4], 84);

    // A 1-bit file comes up to 8 bits: every row holds Width bytes.
    QImage mono(13, 2, QImage::Format_Mono);
    mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    mono.fill(0);
    mono.setPixel(12, 1, 1);
    loaded = Load(mono, "mono.bmp", dir);
    ASSERT_EQ(loaded.format(), QImage::Format_Indexed8);
    EXPECT_EQ(loaded.colorCount(), 256);
    EXPECT_EQ(loaded.pixel(12, 1), qRgb(255, 255, 255));
    EXPECT_EQ(loaded.pixel(11, 1), qRgb(0, 0, 0));

    // Colour with and without alpha: 32 bits, alpha kept where there is one.
    loaded = Load(RandomColour(7, 4, 1, false), "colour.png", dir);
    EXPECT_EQ(loaded.format(), QImage::Format_RGB32);
    const QImage alpha = RandomColour(7, 4, 2, true);
    loaded = Load(alpha, "alpha.png", dir);
    ASSERT_EQ(loaded.format(), QImage::Format_ARGB32);
    EXPECT_EQ(loaded.pixel(3, 2), alpha.pixel(3, 2));
}

TEST(PictureLayouts, ShortPalettesArePaddedSoEveryByteNamesAColour)
{
    QImage twoColours(4, 1, QImage::Format_Indexed8);
    twoColours.setColorTable({qRgb(255, 0, 0), qRgb(0, 255, 0)});
    for (int x = 0; x < 4; ++x)
        twoColours.scanLine(0)[x] = std::uint8_t(x % 2);
    TBitmap bitmap;
    bitmap.SetImage(twoColours);
    EXPECT_EQ(bitmap.Image().colorCount(), 256);
    EXPECT_EQ(bitmap.PaletteEntry(255), qRgb(0, 0, 0));
    EXPECT_EQ(bitmap.Canvas()->Pixels(1, 0), RGB(0, 255, 0));
}

// The layout change alone (SetPixelFormat) and the conversion operation over
// every kind of picture: the size stays, the result has 8 bits and 256
// entries, and the colours are kept as the kind allows. The change is
// notified once, or not at all where the bitmap stays as it was.
TEST(ConvertTo8bit, EveryKindOfPictureComesOutEightBitWithItsColours)
{
    enum Kept { GreyRamp, SameBytes, SameColours, Quantized };
    const auto lastPixelColoured = [](int x, int y) {
        return x == 6 && y == 4 ? qRgb(220, 30, 40) : qRgb(x * 30 + y, x * 30 + y, x * 30 + y);
    };
    const struct {
        const char* what;
        QImage picture;
        Kept kept;
    } table[] = {
        {"grey colours", Colour(6, 5, [](int x, int y) { return qRgb(x * 40 + y, x * 40 + y, x * 40 + y); }),
         GreyRamp},
        {"palette",
         Palette(9, 4, {qRgb(1, 2, 3), qRgb(200, 100, 0), qRgb(1, 2, 3)}, [](int x, int y) { return (x + y) % 3; }),
         SameBytes},
        {"empty", QImage(), SameBytes},
        {"two colours", Colour(3, 1, [](int x, int) { return x == 0 ? qRgb(200, 10, 10) : qRgb(10, 200, 30); }),
         SameColours},
        // Grey but for the very last pixel: the grey ramp is given up there.
        {"one colour pixel in the last row", Colour(7, 5, lastPixelColoured), SameColours},
        {"many colours", Colour(31, 17, [](int x, int y) { return qRgb(x * 8, y * 15, 128); }), Quantized}};
    for (const auto& row : table)
        for (const bool operation : {false, true}) {
            // Choosing a palette for colours is the operation's work alone.
            if (!operation && (row.kept == SameColours || row.kept == Quantized))
                continue;
            SCOPED_TRACE(std::string(row.what) + (operation ? ", ConvertTo8bit" : ", SetPixelFormat"));
            TBitmap bitmap;
            if (!row.picture.isNull())
                bitmap.SetImage(row.picture);
            const QByteArray bytes = Bytes(bitmap);
            const QList<QRgb> colours = bitmap.Image().colorTable();
            int notified = 0;
            bitmap.OnChange = [&] { ++notified; };
            if (operation)
                ConvertTo8bit(bitmap);
            else
                bitmap.SetPixelFormat(pf8bit);
            EXPECT_EQ(notified, row.kept == SameBytes ? 0 : 1);
            EXPECT_EQ(bitmap.Width(), row.picture.width());
            EXPECT_EQ(bitmap.Height(), row.picture.height());
            if (row.picture.isNull()) {
                EXPECT_EQ(bitmap.PixelFormat(), pfDevice);
                continue;
            }
            ASSERT_EQ(bitmap.PixelFormat(), pf8bit);
            EXPECT_EQ(bitmap.Image().colorCount(), 256);
            if (row.kept == SameBytes) {
                EXPECT_EQ(Bytes(bitmap), bytes);
                EXPECT_EQ(bitmap.Image().colorTable(), colours);
            }
            for (int y = 0; y < row.picture.height() && (row.kept == GreyRamp || row.kept == SameColours); ++y)
                for (int x = 0; x < row.picture.width(); ++x) {
                    const QRgb c = row.picture.pixel(x, y);
                    EXPECT_EQ(bitmap.Canvas()->Pixels(x, y), RGB(qRed(c), qGreen(c), qBlue(c))) << x << ", " << y;
                    if (row.kept == GreyRamp) {
                        EXPECT_EQ(bitmap.ScanLine(y)[x], qRed(c)) << x << ", " << y;
                    }
                }
        }
}

TEST(Assign, CopiesAreIndependentBothWays)
{
    for (const QImage& image : {RandomGrey(10, 6, 3), RandomColour(10, 6, 4, true)}) {
        TBitmap source;
        source.SetImage(image);
        TBitmap copy;
        copy.Assign(source);
        EXPECT_EQ(copy.Width(), 10);
        EXPECT_EQ(copy.PixelFormat(), source.PixelFormat());
        EXPECT_EQ(copy.Image().colorTable(), source.Image().colorTable());
        const QByteArray original = Bytes(source);
        ASSERT_EQ(Bytes(copy), original);

        copy.ScanLine(2)[1] ^= 0xFF;
        EXPECT_EQ(Bytes(source), original) << "writing the copy changed the source";
        const QByteArray copied = Bytes(copy);
        source.ScanLine(3)[0] ^= 0xFF;
        EXPECT_EQ(Bytes(copy), copied) << "writing the source changed the copy";
    }
}

TEST(Canvas, PixelsRoundTripAndStayInsideTheBitmap)
{
    TBitmap colour;
    colour.SetImage(RandomColour(4, 3, 5, false));
    colour.Canvas()->SetPixels(3, 2, RGB(200, 10, 20));
    EXPECT_EQ(colour.Canvas()->Pixels(3, 2), RGB(200, 10, 20));
    EXPECT_EQ(qRed(colour.Image().pixel(3, 2)), 200);

    TBitmap palette;
    palette.SetImage(Palette(4, 2, {qRgb(0, 0, 0), qRgb(9, 9, 9), qRgb(250, 0, 0), qRgb(9, 9, 9)},
                             [](int, int) { return 0; }));
    palette.Canvas()->SetPixels(1, 0, RGB(9, 9, 9)); // held twice: the first entry
    EXPECT_EQ(palette.ScanLine(0)[1], 1);
    palette.Canvas()->SetPixels(2, 0, RGB(240, 20, 5)); // not held: the nearest entry
    EXPECT_EQ(palette.ScanLine(0)[2], 2);

    for (TBitmap* bitmap : {&colour, &palette}) {
        const QByteArray before = Bytes(*bitmap);
        for (const QPoint p : {QPoint(-1, 0), QPoint(0, -1), QPoint(4, 0), QPoint(0, 3), QPoint(INT_MIN, INT_MAX)}) {
            EXPECT_EQ(bitmap->Canvas()->Pixels(p.x(), p.y()), clNone);
            bitmap->Canvas()->SetPixels(p.x(), p.y(), clWhite);
        }
        EXPECT_EQ(Bytes(*bitmap), before);
    }
    TBitmap empty;
    EXPECT_EQ(empty.Canvas()->Pixels(0, 0), clNone);
}

TEST(Canvas, AColourOffThePaletteTakesTheNearestEntryAfterEveryPaletteChange)
{
    // The reference: a search of all 256 entries, the lowest index of
    // equally near ones (the padding's 252 blacks, the repeated red).
    const auto nearest = [](const TBitmap& bitmap, QRgb c) {
        int best = 0, bestDistance = INT_MAX;
        for (int i = 0; i < 256; ++i) {
            const QRgb p = bitmap.PaletteEntry(i);
            const int dr = qRed(p) - qRed(c), dg = qGreen(p) - qGreen(c), db = qBlue(p) - qBlue(c);
            if (dr * dr + dg * dg + db * db < bestDistance)
                best = i, bestDistance = dr * dr + dg * dg + db * db;
        }
        return best;
    };
    QRgb shifted[256];
    for (int i = 0; i < 256; ++i)
        shifted[i] = qRgb(255 - i, i / 2, (i * 37) & 255);
    TBitmap bitmap, copy;
    copy.SetImage(Grey(16, 16, 7));
    const struct {
        const char* change;
        TBitmap* written;
        std::function<void()> make;
    } table[] = {
        {"SetImage", &bitmap,
         [&] {
             bitmap.SetImage(Palette(16, 16, {qRgb(250, 0, 0), qRgb(0, 0, 250), qRgb(250, 0, 0), qRgb(10, 10, 10)},
                                     [](int, int) { return 0; }));
         }},
        {"SetPalette", &bitmap, [&] { bitmap.SetPalette(shifted); }},
        {"Assign", &copy, [&] { copy.Assign(bitmap); }},
    };
    std::mt19937 random(3);
    for (const auto& row : table) {
        row.make();
        for (int i = 0; i < 512; ++i) {
            // Every palette colour itself, then colours anywhere.
            const QRgb c = i < 256 ? row.written->PaletteEntry(i) : QRgb(random());
            row.written->Canvas()->SetPixels(i % 16, i / 16 % 16, ColorFromRgb(c));
            ASSERT_EQ(row.written->ScanLine(i / 16 % 16)[i % 16], nearest(*row.written, c))
                << row.change << ", colour " << Qt::hex << c;
        }
    }
}

class PictureFiles : public ::testing::Test {
protected:
    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir dir;
    TPicture picture;
};

TEST_F(PictureFiles, SaveAndLoadRoundTripPixels)
{
    const QImage grey = RandomGrey(33, 7, 8), colour = RandomColour(12, 9, 9, false);
    for (const char* name : {"a.png", "a.bmp", "a.pgm", "a.tif", "b.png", "b.bmp", "b.ppm", "b.webp"}) {
        const bool lossy = QByteArray(name).endsWith("webp"); // by default
        if (lossy && !QImageWriter::supportedImageFormats().contains("webp"))
            continue;
        picture.Bitmap()->SetImage(name[0] == 'a' ? grey : colour);
        picture.SaveToFile(Path(name));
        TPicture reloaded;
        reloaded.LoadFromFile(Path(name));
        if (lossy)
            EXPECT_EQ(reloaded.Bitmap()->Width(), 12) << name;
        else
            EXPECT_EQ(Bytes(*reloaded.Bitmap()), Bytes(*picture.Bitmap())) << name;
    }
}

TEST_F(PictureFiles, AFailedLoadNamesTheFileAndKeepsThePicture)
{
    picture.Bitmap()->SetImage(RandomGrey(5, 5, 10));
    const QByteArray before = Bytes(*picture.Bitmap());
    int notified = 0;
    picture.OnChange = [&] { ++notified; };

    ASSERT_TRUE(WriteFile(Path("text.png"), "this is not a picture\n"));
    ASSERT_TRUE(RandomColour(40, 40, 11, false).save(Path("good.png")));
    ASSERT_TRUE(WriteFile(Path("cut.png"), FileBytes(Path("good.png")).left(30)));
    ASSERT_TRUE(WriteFile(Path("empty.gif"), QByteArray()));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.png")));

    for (const char* name : {"text.png", "cut.png", "empty.gif", "missing.png", "folder.png"}) {
        try {
            picture.LoadFromFile(Path(name));
            ADD_FAILURE() << name << " loaded";
        } catch (const Exception& error) {
            const QString message = error.Message();
            const QString opening = QStringLiteral("Cannot open \"%1\": ").arg(QDir::toNativeSeparators(Path(name)));
            EXPECT_TRUE(message.startsWith(opening)) << message.toStdString();
            EXPECT_GT(message.size(), opening.size() + 3) << "no reason given: " << message.toStdString();
        }
        EXPECT_EQ(Bytes(*picture.Bitmap()), before) << name;
    }
    EXPECT_EQ(notified, 0);
}

TEST_F(PictureFiles, FailedSavesReportAndLeaveTheOldFileAsItWas)
{
    const QByteArray old = "the file that was there before\n";
    const auto expectFailure = [&](const QString& path, const char* why) {
        try {
            picture.SaveToFile(path);
            ADD_FAILURE() << "saving succeeded: " << why;
        } catch (const Exception& error) {
            EXPECT_FALSE(error.Message().isEmpty()) << why;
            return error.Message();
        }
        return QString();
    };

    // No picture: nothing is written and the caller is told so.
    ASSERT_TRUE(WriteFile(Path("old.png"), old));
    EXPECT_EQ(expectFailure(Path("old.png"), "empty picture"), QStringLiteral("There is no picture to save."));
    EXPECT_EQ(FileBytes(Path("old.png")), old);
    EXPECT_FALSE(QFile::exists(Path("nothing.png")));
    expectFailure(Path("nothing.png"), "empty picture");
    EXPECT_FALSE(QFile::exists(Path("nothing.png")));

    picture.Bitmap()->SetImage(RandomGrey(8, 8, 12));
    ASSERT_TRUE(WriteFile(Path("old.xyz"), old));
    EXPECT_TRUE(expectFailure(Path("old.xyz"), "unknown kind").contains(QStringLiteral("old.xyz")));
    EXPECT_EQ(FileBytes(Path("old.xyz")), old);
    ASSERT_TRUE(WriteFile(Path("noextension"), old));
    EXPECT_TRUE(expectFailure(Path("noextension"), "no extension").contains(QStringLiteral("extension")));
    EXPECT_EQ(FileBytes(Path("noextension")), old);
    EXPECT_TRUE(expectFailure(Path("no/such/folder/x.png"), "missing folder").contains(QStringLiteral("x.png")));
    EXPECT_FALSE(QFile::exists(Path("no/such/folder/x.png")));

    // A successful save replaces the old file entirely.
    picture.SaveToFile(Path("old.png"));
    TPicture reloaded;
    reloaded.LoadFromFile(Path("old.png"));
    EXPECT_EQ(Bytes(*reloaded.Bitmap()), Bytes(*picture.Bitmap()));
}
