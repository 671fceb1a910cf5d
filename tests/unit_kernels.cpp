// Every row kernel this processor has (portable, AVX2, AVX-512) against
// plain per-pixel definitions of the commands, bit for bit, on sizes around
// the vector widths; and the colour quantizer against Qt's conversion.
#include "analysis/Analysis.h"
#include "image/Kernels.h"
#include "image/Operations.h"
#include "image/Quantizer.h"
#include "image/Reuse.h"
#include "support/TestPictures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace testpictures;

namespace {

// The paths this machine runs; the portable one always.
std::vector<kernels::Path> Paths()
{
    std::vector<kernels::Path> paths;
    for (kernels::Path path : {kernels::Path::Portable, kernels::Path::Avx2, kernels::Path::Avx512})
        if (kernels::TableFor(path))
            paths.push_back(path);
    return paths;
}

// Runs the test body with one path in use, then puts the previous one back.
class UsingPath {
public:
    explicit UsingPath(kernels::Path path) : before_(kernels::Use(path)) {}
    ~UsingPath() { kernels::Use(before_); }

private:
    kernels::Path before_;
};

// Widths around 8, 16, 32, 64 and 128 bytes or pixels, and a long odd row.
const std::vector<std::pair<int, int>> kSizes = {
    {1, 1},  {2, 3},  {3, 3},  {7, 3},  {8, 3},   {9, 3},   {15, 3},  {16, 3},  {17, 3},    {31, 3},
    {32, 3}, {33, 3}, {63, 3}, {64, 3}, {65, 3},  {66, 2},  {127, 3}, {128, 3}, {129, 4},   {130, 1},
    {191, 2}, {256, 3}, {257, 3}, {4097, 3}};

std::vector<QImage> Pictures(int w, int h, std::uint32_t seed)
{
    return {RandomGrey(w, h, seed), RandomColour(w, h, seed + 1, false), RandomColour(w, h, seed + 2, true)};
}

QByteArray After(void (*command)(TBitmap&), const QImage& image)
{
    TBitmap bitmap;
    bitmap.SetImage(image);
    command(bitmap);
    return Bytes(bitmap);
}

// The definitions, pixel by pixel, on the image's bytes.
QByteArray Complemented(const QImage& image)
{
    TBitmap bitmap;
    bitmap.SetImage(image);
    QByteArray bytes = Bytes(bitmap);
    for (int k = 0; k < bytes.size(); ++k)
        if (image.depth() == 8 || k % 4 != 3)
            bytes[k] = char(255 - std::uint8_t(bytes[k]));
    return bytes;
}

QByteArray Edges(const QImage& image)
{
    TBitmap bitmap;
    bitmap.SetImage(image);
    const QByteArray in = Bytes(bitmap);
    QByteArray out = in;
    const int w = image.width(), h = image.height(), bpp = image.depth() / 8;
    const auto at = [&](int x, int y, int c) {
        return int(std::uint8_t(in[((y + h) % h * w + (x + w) % w) * bpp + c]));
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < bpp && c < 3; ++c) {
                int v = 9 * at(x, y, c);
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        v -= at(x + dx, y + dy, c);
                out[(y * w + x) * bpp + c] = char(v < 0 ? 0 : v > 255 ? 255 : v);
            }
    return out;
}

QByteArray Mirrored(const QImage& image)
{
    TBitmap bitmap;
    bitmap.SetImage(image);
    const QByteArray in = Bytes(bitmap);
    QByteArray out = in;
    const int w = image.width(), h = image.height(), bpp = image.depth() / 8;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < bpp; ++c)
                out[(y * w + x) * bpp + c] = in[(y * w + w - 1 - x) * bpp + c];
    return out;
}

} // namespace

TEST(Kernels, EveryPathGivesTheDefinedBytes)
{
    std::uint32_t seed = 100;
    for (kernels::Path path : Paths()) {
        const UsingPath using_(path);
        ASSERT_EQ(kernels::ActivePath(), path);
        for (const auto& size : kSizes)
            for (const QImage& image : Pictures(size.first, size.second, seed += 3)) {
                const int w = size.first, h = size.second;
                const auto where = [&] {
                    return std::string(kernels::PathName(path)) + ", " + std::to_string(w) + " x " + std::to_string(h) +
                           ", " + std::to_string(image.depth()) + "-bit";
                };
                EXPECT_EQ(After(Complement, image), Complemented(image)) << "complement, " << where();
                EXPECT_EQ(After(EdgeDetect, image), Edges(image)) << "edges, " << where();
                EXPECT_EQ(After(MirrorHorizontally, image), Mirrored(image)) << "mirror, " << where();
            }
    }
}

TEST(Kernels, EveryPathTellsGreyFromColourAndCapturesTheSameColours)
{
    for (kernels::Path path : Paths()) {
        const UsingPath using_(path);
        for (const auto& [w, h] : kSizes) {
            // At most 200 grey levels, so that one tinted pixel still leaves
            // few enough colours to be kept exactly.
            const QImage grey8 = Grey(w, h, [](int x, int y) { return (x * 7 + y * 13 + x * y) % 200; });
            const QImage grey = grey8.convertToFormat(QImage::Format_RGB32);
            TBitmap bitmap;
            bitmap.SetImage(grey);
            bitmap.SetPixelFormat(pf8bit);
            ASSERT_EQ(bitmap.PixelFormat(), pf8bit);
            TBitmap original;
            original.SetImage(grey8);
            EXPECT_EQ(Bytes(bitmap), Bytes(original)) << kernels::PathName(path) << ", " << w << " x " << h;

            // One pixel off grey, anywhere, makes it a colour picture: the
            // last one, and one in the first vector's reach.
            for (const int spot : {w * h - 1, (w * h) / 2, 5 % (w * h)}) {
                QImage tinted = grey.copy();
                QRgb& p = reinterpret_cast<QRgb*>(tinted.scanLine(spot / w))[spot % w];
                p ^= 0x000100; // green differs by one
                TBitmap colour;
                colour.SetImage(tinted);
                CaptureBitmap(colour);
                const int x = spot % w, y = spot / w;
                EXPECT_EQ(colour.Canvas()->Pixels(x, y), ColorFromRgb(p))
                    << kernels::PathName(path) << ", " << w << " x " << h << " at " << x << "," << y;
                if (x < MatrixSize && y < MatrixSize) {
                    EXPECT_EQ(At(CaptureMatrix, x, y), ColorFromRgb(p));
                }
            }
        }
        // The capture stores what the canvas shows, on every path.
        TBitmap chart;
        chart.SetImage(RandomColour(523, 517, 9, false));
        CaptureBitmap(chart);
        int wrong = 0;
        for (int y = 0; y < MatrixSize; ++y)
            for (int x = 0; x < MatrixSize; ++x)
                wrong += At(CaptureMatrix, x, y) != chart.Canvas()->Pixels(x, y);
        EXPECT_EQ(wrong, 0) << kernels::PathName(path);
    }
}

TEST(Kernels, TheEnvironmentVariableKeepsThePortablePath)
{
    const char* forced = std::getenv("IMAGEBENCH_PORTABLE");
    if (forced && *forced && QByteArray(forced) != "0")
        EXPECT_EQ(kernels::ActivePath(), kernels::Path::Portable);
    else
        EXPECT_EQ(kernels::ActivePath(), Paths().back()); // the fastest this processor has
}

namespace {

// A chart: hue sweeps across, brightness down, a band of saturated patches
// and a grey ramp.
QImage Chart()
{
    return Colour(320, 240, [](int x, int y) {
        if (y >= 200)
            return qRgb(x * 255 / 319, x * 255 / 319, x * 255 / 319);
        if (y >= 160)
            return QColor::fromHsv((x / 20) * 22 % 360, 255, 255).rgb();
        return QColor::fromHsv(x * 359 / 319, 55 + y, 255 - y).rgb();
    });
}

struct Closeness {
    double psnr;
    double worst; // the largest distance of a pixel's colour from the original's
};

Closeness Compare(const QImage& original, const QImage& indexed)
{
    double squares = 0, worst = 0;
    for (int y = 0; y < original.height(); ++y)
        for (int x = 0; x < original.width(); ++x) {
            const QRgb a = original.pixel(x, y), b = indexed.pixel(x, y);
            const double d2 = std::pow(qRed(a) - qRed(b), 2) + std::pow(qGreen(a) - qGreen(b), 2) +
                              std::pow(qBlue(a) - qBlue(b), 2);
            squares += d2;
            worst = std::max(worst, std::sqrt(d2));
        }
    const double mse = squares / (3.0 * original.width() * original.height());
    return {10 * std::log10(255.0 * 255.0 / mse), worst};
}

} // namespace

TEST(Quantizer, NoColourFartherFromTheOriginalThanQtsConversion)
{
    for (const QImage& picture : {Chart(), RandomColour(200, 150, 4, false)}) {
        const Closeness ours = Compare(picture, QuantizedTo8bit(picture));
        const Closeness qt = Compare(picture, picture.convertToFormat(QImage::Format_Indexed8));
        EXPECT_LE(ours.worst, qt.worst);
        EXPECT_GE(ours.psnr, qt.psnr);
    }
}

TEST(Quantizer, KeepsFewColoursExactlyAndLeavesSeeThroughPicturesToQt)
{
    const QImage few = Colour(300, 7, [](int x, int y) { return qRgb(x % 32 * 8, y * 30, 200); });
    const QImage indexed = QuantizedTo8bit(few);
    ASSERT_EQ(indexed.format(), QImage::Format_Indexed8);
    EXPECT_EQ(Compare(few, indexed).worst, 0);
    EXPECT_EQ(indexed.colorCount(), 32 * 7);

    const QImage seeThrough = RandomColour(40, 30, 7, true);
    EXPECT_EQ(QuantizedTo8bit(seeThrough), seeThrough.convertToFormat(QImage::Format_Indexed8));
}

TEST(Reuse, ALargeEightBitPictureTakesTheMemoryOfOneReleasedButNeverOfOneInUse)
{
    const uchar* first = nullptr;
    {
        const QImage a = NewIndexed8(4096, 1500);
        ASSERT_FALSE(a.isNull());
        first = a.constBits();
        const QImage b = NewIndexed8(4096, 1500); // a still in use
        EXPECT_NE(b.constBits(), first);
    }
    // Both released: one of them is kept and taken again.
    const QImage c = NewIndexed8(4096, 1500);
    const QImage d = NewIndexed8(4096, 1500);
    EXPECT_TRUE(c.constBits() == first || d.constBits() == first);
    EXPECT_NE(c.constBits(), d.constBits());

    // Conversions one after the other, each into the last one's memory,
    // each with its own bytes.
    for (int level : {10, 200}) {
        TBitmap bitmap;
        bitmap.SetImage(Colour(4096, 1100, [level](int x, int) {
            const int v = (x + level) & 255;
            return qRgb(v, v, v);
        }));
        bitmap.SetPixelFormat(pf8bit);
        ASSERT_EQ(bitmap.PixelFormat(), pf8bit);
        EXPECT_EQ(bitmap.ScanLine(1099)[4095], (4095 + level) & 255);
        EXPECT_EQ(bitmap.ScanLine(0)[0], level);
        EXPECT_EQ(bitmap.Canvas()->Pixels(7, 3), RGB(level + 7, level + 7, level + 7));
    }
}

TEST(Reuse, AGreyImageHeldByNobodyElseIsTakenOverNotCopied)
{
    QImage grey(301, 20, QImage::Format_Grayscale8);
    for (int y = 0; y < grey.height(); ++y)
        for (int x = 0; x < grey.width(); ++x)
            grey.scanLine(y)[x] = uchar(x ^ (y * 7));
    const QImage kept = grey.copy();
    const uchar* bits = grey.constBits();
    const QImage normalized = TBitmap::Normalized(std::move(grey));
    EXPECT_EQ(normalized.constBits(), bits);
    ASSERT_EQ(normalized.format(), QImage::Format_Indexed8);
    ASSERT_EQ(normalized.colorCount(), 256);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(normalized.color(i), qRgb(i, i, i));
    for (int y = 0; y < kept.height(); ++y)
        EXPECT_EQ(std::memcmp(normalized.constScanLine(y), kept.constScanLine(y), std::size_t(kept.width())), 0);

    // An image another holder still shows is copied; that holder's stays grey.
    const QImage other = kept;
    const QImage copied = TBitmap::Normalized(other);
    EXPECT_NE(copied.constBits(), other.constBits());
    EXPECT_EQ(copied.format(), QImage::Format_Indexed8);
    EXPECT_EQ(other.format(), QImage::Format_Grayscale8);
}
