// PNG files: what our writer makes reads back pixel for pixel through Qt's
// reader, libpng and our own reader, for every layout at one pixel and
// around the band boundaries; our reader gives what Qt's gives on the files
// other programs write; a cancelled save leaves the old file and nothing
// else; pngcheck accepts our files.
#include "image/bitmap/Graphics.h"
#include "image/files/png/PngBands.h"
#include "image/files/png/PngReader.h"
#include "image/files/png/PngWriter.h"
#include "image/work/Progress.h"
#include "support/TestPictures.h"

#include <QBuffer>
#include <QDir>
#include <QImageReader>
#include <QImageWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <zlib.h>

#ifdef IMAGEBENCH_TEST_LIBPNG
#include <png.h>
#endif

#include <cstdint>
#include <thread>

using namespace testpictures;

namespace {

enum class Layout { Grey, Palette, PaletteAlpha, Colour, ColourAlpha };
constexpr Layout kLayouts[] = {Layout::Grey, Layout::Palette, Layout::PaletteAlpha, Layout::Colour,
                               Layout::ColourAlpha};
const char* NameOf(Layout layout)
{
    static const char* const names[] = {"grey", "palette", "palette with see-through entries", "colour",
                                        "colour with alpha"};
    return names[int(layout)];
}

// Repeating patterns with noise in between: deflate finds matches, many of
// them reaching back across band boundaries into the priming window.
int Value(int x, int y, std::uint32_t salt)
{
    std::uint32_t h = std::uint32_t(x) * 0x9E3779B1u ^ std::uint32_t(y) * 0x85EBCA77u ^ salt;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return (h % 5 == 0) ? int(h >> 24) : ((x / 3) ^ (y % 29)) & 0xFF;
}

QImage Make(Layout layout, int width, int height)
{
    switch (layout) {
    case Layout::Grey:
        return Grey(width, height, [](int x, int y) { return Value(x, y, 1); });
    case Layout::Palette:
    case Layout::PaletteAlpha: {
        QList<QRgb> palette;
        for (int i = 0; i < 256; ++i)
            palette << qRgba(Value(i, 0, 7), Value(i, 1, 7), Value(i, 2, 7),
                             layout == Layout::Palette ? 255 : (i % 3 == 0 ? 0 : i % 3 == 1 ? 128 : 255));
        return testpictures::Palette(width, height, palette, [](int x, int y) { return Value(x, y, 2); });
    }
    default: {
        const bool alpha = layout == Layout::ColourAlpha;
        const auto colour = [alpha](int x, int y) {
            return qRgba(Value(x, y, 3), Value(x, y, 4), Value(x, y, 5), alpha ? Value(x, y, 6) : 255);
        };
        return Colour(width, height, colour, alpha);
    }
    }
}

QByteArray Written(const QImage& image, TProgress* progress = nullptr, const pngbands::TSettings* settings = nullptr)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(WritePng(buffer, image, progress, settings));
    return buffer.data();
}

#ifdef IMAGEBENCH_TEST_LIBPNG
// libpng's reading of the file as R, G, B, A bytes; empty when it refuses.
QByteArray LibpngRgba(const QByteArray& file, int& width, int& height)
{
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, file.constData(), size_t(file.size())))
        return {};
    png.format = PNG_FORMAT_RGBA;
    QByteArray out(qsizetype(PNG_IMAGE_SIZE(png)), '\0');
    if (!png_image_finish_read(&png, nullptr, out.data(), 0, nullptr))
        return {};
    width = int(png.width);
    height = int(png.height);
    return out;
}
#endif

// Our reader, through the picture: the same layout, bytes and palette.
void ExpectLoads(const QString& path, const QImage& expected)
{
    TPicture picture;
    picture.LoadFromFile(path);
    EXPECT_EQ(picture.Bitmap()->Image().format(), expected.format());
    EXPECT_EQ(picture.Bitmap()->Image(), expected);
    EXPECT_EQ(picture.Bitmap()->Image().colorTable(), expected.colorTable());
}

// The picture's colours as R, G, B, A bytes, independent of its layout.
QByteArray Rgba(const QImage& image)
{
    const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
    QByteArray out;
    for (int y = 0; y < rgba.height(); ++y)
        out.append(reinterpret_cast<const char*>(rgba.constScanLine(y)), qsizetype(rgba.width()) * 4);
    return out;
}

TEST(Png, EveryLayoutReadsBackExactlyAtOnePixelAndAroundBandBoundaries)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (Layout layout : kLayouts) {
        // An odd width, so that 8-bit rows are padded in memory.
        const int width = 333;
        const int band = PngRowsPerBand(Make(layout, width, 1));
        // The settings picked for the picture (nullptr), and on two bands
        // ones whose matches reach far back, across the band boundary.
        // Each of the five row filters once, on a few rows: our reader
        // undoes every one for every pixel size.
        using pngbands::TFilter;
        const pngbands::TSettings far[] = {{TFilter::Up, 1, 0}, {TFilter::Paeth, 6, 0}};
        const pngbands::TSettings filters[] = {{TFilter::None, 1, 0}, {TFilter::Sub, 1, 0}, {TFilter::Up, 1, 0},
                                               {TFilter::Average, 1, 0}, {TFilter::Paeth, 1, 0}};
        const struct {
            QSize size;
            const pngbands::TSettings* settings;
        } cases[] = {{{1, 1}, nullptr},
                     {{width, band}, nullptr},
                     {{width, band + 1}, nullptr},
                     {{width, band + 1}, &far[0]},
                     {{width, band + 1}, &far[1]},
                     {{width, 2 * band + 1}, nullptr},
                     {{width, 5}, &filters[0]},     {{width, 5}, &filters[1]},
                     {{width, 5}, &filters[2]},     {{width, 5}, &filters[3]},
                     {{width, 5}, &filters[4]},     {{2, 3}, &filters[4]}};
        for (const auto& [size, settings] : cases) {
            SCOPED_TRACE(::testing::Message() << NameOf(layout) << " " << size.width() << " x " << size.height()
                                              << ", filter " << (settings ? int(settings->filter) : -1) << " level "
                                              << (settings ? settings->level : -1) << " (-1: picked)");
            const QImage image = TBitmap::Normalized(Make(layout, size.width(), size.height()));
            TProgress progress;
            const QByteArray file = Written(image, &progress, settings);
            EXPECT_EQ(progress.Done(), size.height());
            EXPECT_EQ(progress.Total(), size.height());

            QBuffer buffer;
            buffer.setData(file);
            QImage byQt;
            ASSERT_TRUE(QImageReader(&buffer, "png").read(&byQt));
            EXPECT_EQ(Rgba(byQt), Rgba(image)) << "Qt's reader";

#ifdef IMAGEBENCH_TEST_LIBPNG
            int w = 0, h = 0;
            const QByteArray byLibpng = LibpngRgba(file, w, h);
            EXPECT_EQ(QSize(w, h), size);
            EXPECT_EQ(byLibpng, Rgba(image)) << "libpng";
#endif

            const QString path = dir.filePath(QStringLiteral("round.png"));
            ASSERT_TRUE(WriteFile(path, file));
            ExpectLoads(path, image);
        }
    }
}

#ifdef IMAGEBENCH_TEST_LIBPNG
// A grey picture with alpha, which Qt cannot write.
QByteArray GreyAlphaFile(int width, int height)
{
    QByteArray pixels(qsizetype(width) * height * 2, '\0');
    for (int i = 0; i < pixels.size(); ++i)
        pixels[i] = char(Value(i % (width * 2), i / (width * 2), 9));
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = png_uint_32(width);
    png.height = png_uint_32(height);
    png.format = PNG_FORMAT_GA;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&png, nullptr, &size, 0, pixels.constData(), 0, nullptr);
    QByteArray file(qsizetype(size), '\0');
    if (!png_image_write_to_memory(&png, file.data(), &size, 0, pixels.constData(), 0, nullptr))
        return {};
    file.resize(qsizetype(size));
    return file;
}
#endif

TEST(Png, OurReaderGivesWhatQtsReaderGivesOnFilesOthersWrite)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    struct Case {
        const char* what;
        QImage image;         // written by Qt's writer, unless file is set
        QByteArray file;
        bool ours;            // read by our reader rather than Qt's
    };
    const QImage colour = Make(Layout::ColourAlpha, 71, 45);
    QList<Case> cases = {
        {"8-bit grey", Make(Layout::Grey, 70, 41).convertToFormat(QImage::Format_Grayscale8), {}, true},
        {"8-bit palette", Make(Layout::Palette, 64, 33), {}, true},
        {"8-bit palette, see-through", Make(Layout::PaletteAlpha, 65, 31), {}, true},
        {"16-colour palette",
         Make(Layout::Palette, 40, 20)
             .convertToFormat(QImage::Format_Indexed8, Make(Layout::Palette, 1, 1).colorTable().mid(0, 16)),
         {}, true},
        {"8-bit RGB", Make(Layout::Colour, 67, 39), {}, true},
        {"8-bit RGBA", colour, {}, true},
        {"16-bit RGBA", colour.convertToFormat(QImage::Format_RGBA64), {}, false},
        {"16-bit grey", colour.convertToFormat(QImage::Format_Grayscale16), {}, false},
        {"1-bit", colour.convertToFormat(QImage::Format_Mono), {}, false},
    };
#ifdef IMAGEBENCH_TEST_LIBPNG
    cases.append({"8-bit grey with alpha", {}, GreyAlphaFile(37, 23), false});
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = dir.filePath(QStringLiteral("other.png"));
        if (c.file.isEmpty())
            ASSERT_TRUE(QImageWriter(path, "png").write(c.image));
        else
            ASSERT_TRUE(WriteFile(path, c.file));
        EXPECT_EQ(ReadPng(path, TPicture::kMaxDecodedBytes).outcome == TPngRead::Read, c.ours);
        QImage byQt;
        ASSERT_TRUE(QImageReader(path).read(&byQt));
        ExpectLoads(path, TBitmap::Normalized(byQt));
    }
}

namespace {

// A PNG file made chunk by chunk: the signature, then each chunk with its
// length and CRC.
QByteArray PngOf(const QList<QPair<QByteArray, QByteArray>>& chunks)
{
    QByteArray file("\x89PNG\r\n\x1a\n", 8);
    for (const auto& [type, data] : chunks) {
        const QByteArray body = type + data;
        const auto put32 = [&](quint32 v) {
            for (int shift = 24; shift >= 0; shift -= 8)
                file.append(char(v >> shift));
        };
        put32(quint32(data.size()));
        file.append(body);
        put32(quint32(crc32(0, reinterpret_cast<const Bytef*>(body.constData()), uInt(body.size()))));
    }
    return file;
}

QByteArray Ihdr(int width, int height, int depth, int colourType, int interlace = 0)
{
    const char bytes[13] = {char(width >> 24), char(width >> 16), char(width >> 8), char(width),
                            char(height >> 24), char(height >> 16), char(height >> 8), char(height),
                            char(depth), char(colourType), 0, 0, char(interlace)};
    return QByteArray(bytes, 13);
}

QByteArray Deflated(const QByteArray& rows)
{
    uLongf size = compressBound(uLong(rows.size()));
    QByteArray out(qsizetype(size), '\0');
    compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(rows.constData()),
             uLong(rows.size()));
    out.resize(qsizetype(size));
    return out;
}

} // namespace

TEST(Png, OurReaderRefusesMalformedFilesWithTheReasonAndLeavesOtherKindsToQt)
{
    // A 2 x 2 palette picture: rows of filter byte and two indices.
    const QByteArray rows("\x00\x00\x01\x02\x01\x00", 6); // the second row Up: both green
    const QByteArray ihdr = Ihdr(2, 2, 8, 3), plte("\xff\x00\x00\x00\xff\x00", 6), idat = Deflated(rows);
    const QByteArray whole = PngOf({{"IHDR", ihdr}, {"PLTE", plte}, {"IDAT", idat}, {"IEND", {}}});
    QByteArray badCrc = whole;
    badCrc[badCrc.size() - 13] = char(badCrc[badCrc.size() - 13] ^ 1); // IDAT's last CRC byte
    const struct {
        const char* what;
        QByteArray file;
        int outcome;        // TPngRead's
        const char* reason; // part of it, when Failed
    } cases[] = {
        {"valid", whole, TPngRead::Read, ""},
        {"a chunk's CRC wrong", badCrc, TPngRead::Failed, "CRC"},
        {"cut inside the image data", whole.left(whole.size() - 16), TPngRead::Failed, "ends"},
        {"no palette", PngOf({{"IHDR", ihdr}, {"IDAT", idat}, {"IEND", {}}}), TPngRead::Failed, "palette"},
        {"more transparency than colours",
         PngOf({{"IHDR", ihdr}, {"PLTE", plte}, {"tRNS", "\x01\x02\x03"}, {"IDAT", idat}, {"IEND", {}}}),
         TPngRead::Failed, "transparency"},
        {"an unknown critical chunk", PngOf({{"IHDR", ihdr}, {"PLTE", plte}, {"ABCD", "x"}, {"IDAT", idat}}),
         TPngRead::Failed, "critical"},
        {"no image data", PngOf({{"IHDR", ihdr}, {"PLTE", plte}, {"IEND", {}}}), TPngRead::Failed, "no image"},
        {"too little image data",
         PngOf({{"IHDR", ihdr}, {"PLTE", plte}, {"IDAT", Deflated(rows.left(4))}, {"IEND", {}}}), TPngRead::Failed,
         "ends early"},
        {"damaged compressed data", PngOf({{"IHDR", ihdr}, {"PLTE", plte}, {"IDAT", "\x78\x9c\xff\xff\xff"}}),
         TPngRead::Failed, "damaged"},
        {"filter 5",
         PngOf({{"IHDR", ihdr}, {"PLTE", plte}, {"IDAT", Deflated(QByteArray("\x05\x00\x01\x00\x01\x01", 6))}}),
         TPngRead::Failed, "filter"},
        {"zero width", PngOf({{"IHDR", Ihdr(0, 2, 8, 3)}, {"PLTE", plte}, {"IDAT", idat}}), TPngRead::Failed, "size"},
        {"header not first", PngOf({{"PLTE", plte}, {"IHDR", ihdr}, {"IDAT", idat}}), TPngRead::Failed, "header"},
        {"16 bits", PngOf({{"IHDR", Ihdr(2, 2, 16, 0)}, {"IDAT", idat}}), TPngRead::NotHandled, ""},
        {"interlaced", PngOf({{"IHDR", Ihdr(2, 2, 8, 3, 1)}, {"PLTE", plte}, {"IDAT", idat}}), TPngRead::NotHandled,
         ""},
        {"a colour key", PngOf({{"IHDR", Ihdr(2, 2, 8, 2)}, {"tRNS", QByteArray(6, '\0')}, {"IDAT", idat}}),
         TPngRead::NotHandled, ""},
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("made.png"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(WriteFile(path, c.file));
        const TPngRead read = ReadPng(path, TPicture::kMaxDecodedBytes);
        EXPECT_EQ(int(read.outcome), c.outcome) << read.reason.toStdString();
        EXPECT_TRUE(read.reason.contains(QLatin1String(c.reason))) << read.reason.toStdString();
        if (c.outcome == TPngRead::Read) {
            EXPECT_EQ(read.image.pixel(0, 0), qRgb(255, 0, 0));
            EXPECT_EQ(read.image.pixel(0, 1), qRgb(0, 255, 0));
            EXPECT_EQ(read.image.pixel(1, 1), qRgb(0, 255, 0));
        }
    }
}

TEST(Png, APictureDeclaredLargerThanTheLimitIsRefusedAndLeavesThePictureEmpty)
{
    // 100000 x 100000 pixels, 40 GB decoded; the rest of the file valid.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("huge.png"));
    ASSERT_TRUE(WriteFile(path, PngOf({{"IHDR", Ihdr(100000, 100000, 8, 2)}, {"IDAT", Deflated("\0\0\0\0")}})));
    TPicture picture;
    try {
        picture.LoadFromFile(path);
        ADD_FAILURE() << "a 100000 x 100000 picture loaded";
    } catch (const Exception& error) {
        EXPECT_TRUE(error.Message().contains(QStringLiteral("too large"))) << error.what();
        EXPECT_TRUE(error.Message().contains(QStringLiteral("huge.png"))) << error.what();
    }
    EXPECT_TRUE(picture.Bitmap()->Empty());
}

TEST(Png, ACancelledSaveLeavesTheOldFileAndNoOther)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("old.png"));
    const QByteArray old = "the file that was here before\n";
    ASSERT_TRUE(WriteFile(path, old));
    // Noise, in many bands: seconds of work, cancelled after the first row.
    TPicture picture;
    picture.Bitmap()->SetImage(RandomColour(2000, 2000, 3, true));
    TProgress progress;
    std::thread canceller([&progress] {
        while (progress.Done() == 0)
            std::this_thread::yield();
        progress.Cancel();
    });
    EXPECT_THROW(picture.SaveToFile(path, &progress), TCancelled);
    canceller.join();
    EXPECT_LT(progress.Done(), 2000);
    EXPECT_EQ(FileBytes(path), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("old.png")});
}

TEST(Png, PngcheckAcceptsEveryLayout)
{
    const QString pngcheck = QStandardPaths::findExecutable(QStringLiteral("pngcheck"));
    if (pngcheck.isEmpty() && QSysInfo::kernelType() == QLatin1String("winnt"))
        GTEST_SKIP() << "pngcheck is a Linux program (scripts/deps.sh installs it there)";
    ASSERT_FALSE(pngcheck.isEmpty()) << "pngcheck is not installed: scripts/deps.sh build installs it";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (Layout layout : kLayouts) {
        SCOPED_TRACE(NameOf(layout));
        const QImage image = TBitmap::Normalized(Make(layout, 300, 2 * PngRowsPerBand(Make(layout, 300, 1)) + 7));
        const QString path = dir.filePath(QStringLiteral("checked.png"));
        ASSERT_TRUE(WriteFile(path, Written(image)));
        QProcess check;
        check.start(pngcheck, {QStringLiteral("-q"), path});
        ASSERT_TRUE(check.waitForFinished(60000));
        EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardOutput().toStdString();
    }
}

} // namespace
