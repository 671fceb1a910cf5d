// The conversion to 8 bits: pictures of at most 256 colours (alpha included)
// kept exactly (a fully transparent pixel keeps only its transparency, so the
// cases have none), palette colours that are the means of the pixels they stand
// for, a floor on the closeness of larger pictures and no pixel farther off
// than with Qt's conversion, the Lloyd steps' look-up, and its progress.
#include "image/quantizer/ColourMoments.h"
#include "image/operations/Operations.h"
#include "image/work/Progress.h"
#include "image/quantizer/Quantizer.h"
#include "image/kernels/Kernels.h"
#include "image/work/RowBands.h"
#include "support/TestPictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <functional>
#include <set>
#include <stdexcept>
#include <vector>

using namespace testpictures;

namespace {

// How close an 8-bit picture is to the original, read through QImage::pixel
// (the palette look-up is Qt's, not ours): PSNR over the colour channels,
// and the largest distance of a pixel's colour from the original's.
struct Closeness {
    double psnr, worst;
};

Closeness Compare(const QImage& original, const QImage& converted)
{
    double squares = 0, worst = 0;
    for (int y = 0; y < original.height(); ++y)
        for (int x = 0; x < original.width(); ++x) {
            const QRgb a = original.pixel(x, y), b = converted.pixel(x, y);
            const double d2 = std::pow(qRed(a) - qRed(b), 2) + std::pow(qGreen(a) - qGreen(b), 2) +
                              std::pow(qBlue(a) - qBlue(b), 2);
            squares += d2;
            worst = std::max(worst, std::sqrt(d2));
        }
    return {10 * std::log10(255.0 * 255.0 * 3 * original.width() * original.height() / squares), worst};
}

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

// Smooth shading over three areas with edges between them and a little
// seeded noise: the kind of picture a photograph is.
QImage Shaded(int width, int height, std::uint32_t seed)
{
    return Colour(width, height, [=, random = Random(seed)](int x, int y) mutable {
        const int n = random.Below(8) - 3;
        const double u = double(x) / width, v = double(y) / height;
        const auto c = [n](double level) { return std::clamp(int(level) + n, 0, 255); };
        if (v < 0.4)
            return qRgb(c(70 + 110 * v), c(120 + 100 * v), c(235 - 30 * v));
        if ((u - 0.6) * (u - 0.6) + (v - 0.7) * (v - 0.7) < 0.05)
            return qRgb(c(250 - 300 * u), c(40 + 60 * v), c(30));
        const double t = 0.5 + 0.5 * std::sin(40 * u + 4 * std::sin(20 * v));
        return qRgb(c(45 + 60 * t * v), c(85 + 90 * t), c(30 + 25 * t));
    });
}

} // namespace

TEST(ConvertTo8bit, PicturesOfAtMost256ColoursAreKeptExactlyAlphaIncluded)
{
    const struct {
        const char* name;
        QImage picture;
    } cases[] = {
        {"one colour", Colour(5, 3, [](int, int) { return qRgb(9, 8, 7); })},
        {"256 colours", Colour(64, 9, [](int x, int y) {
             const int i = (x + 64 * y) % 256;
             return qRgb(i, 255 - i / 2, (i * 7) & 255);
         })},
        {"grey", Colour(17, 5, [](int x, int y) { return qRgb(x * 15 + y, x * 15 + y, x * 15 + y); })},
        {"grey with transparency",
         Colour(16, 16, [](int x, int y) { return qRgba(x * 16, x * 16, x * 16, 255 - y * 16); }, true)},
        {"colours with transparency",
         Colour(20, 6, [](int x, int y) { return qRgba(x * 12, 200 - y * 30, 7, (x + y) % 3 * 100 + 40); }, true)},
    };
    for (const auto& c : cases) {
        TBitmap bitmap;
        bitmap.SetImage(c.picture);
        ConvertTo8bit(bitmap);
        ASSERT_EQ(bitmap.PixelFormat(), pf8bit) << c.name;
        std::set<QRgb> colours;
        for (int y = 0; y < c.picture.height(); ++y)
            for (int x = 0; x < c.picture.width(); ++x) {
                ASSERT_EQ(bitmap.Image().pixel(x, y), c.picture.pixel(x, y)) << c.name << " at " << x << "," << y;
                colours.insert(c.picture.pixel(x, y));
            }
        EXPECT_EQ(QuantizedTo8bit(c.picture).colorCount(), int(colours.size())) << c.name << ": its colours alone";
    }
    // More than 256 colours with see-through pixels: the palette keeps alpha,
    // and a pixel more see-through than not stays so, an opaque one opaque.
    const QImage seeThrough = RandomColour(40, 30, 7, true);
    const QImage converted = QuantizedTo8bit(seeThrough);
    ASSERT_EQ(converted.format(), QImage::Format_Indexed8);
    int flipped = 0;
    for (int i = 0; i < 40 * 30; ++i)
        flipped += (qAlpha(converted.pixel(i % 40, i / 40)) < 128) != (qAlpha(seeThrough.pixel(i % 40, i / 40)) < 128);
    EXPECT_EQ(flipped, 0) << "pixels whose see-through side changed";
}

TEST(Quantizer, EachColourIsTheMeanOfThePixelsItStandsFor)
{
    // Two tight groups of colours, 384 each, their values skewed toward the
    // low end of their range so that the mean is not the range's middle;
    // over 10 000 pixels each, more than a cell's 16-bit sums hold at once.
    // The larger picture's passes are split over threads, each with tables
    // of its own: the sums added up must come out the same.
    // Green rises down the picture, so that sums lost where a cell's lanes
    // are moved out of the way would move the mean.
    int height = 0;
    const auto colour = [&height](int x, int y) {
        x %= 128;
        const int r = (x % 8) * (x % 8) / 8, g = y * 8 / height, b = (x / 8) % 8;
        return x < 64 ? qRgb(64 + r, 128 + g, b) : qRgb(200 + r, 8 + g * g / 8, 96 + b);
    };
    for (const auto& [width, rows] : {std::pair{128, 160}, std::pair{1280, 1000}}) {
        SCOPED_TRACE(width);
        height = rows;
        const QImage picture = Colour(width, height, colour);
        const QImage indexed = QuantizedTo8bit(picture);
        ASSERT_EQ(indexed.format(), QImage::Format_Indexed8);
        for (const auto& [x0, x1] : {std::pair{0, 64}, std::pair{64, 128}}) {
            double sum[3] = {};
            for (int y = 0; y < height; ++y)
                for (int x = x0; x < x1; ++x) {
                    const QRgb p = colour(x, y);
                    sum[0] += qRed(p), sum[1] += qGreen(p), sum[2] += qBlue(p);
                }
            const double n = double(height) * (x1 - x0);
            const QRgb mean =
                qRgb(int(std::lround(sum[0] / n)), int(std::lround(sum[1] / n)), int(std::lround(sum[2] / n)));
            for (int y = 0; y < height; ++y)
                for (int x = x0; x < width; x += 128)
                    for (int k = x; k < x + (x1 - x0); ++k)
                        ASSERT_EQ(indexed.pixel(k, y), mean) << k << "," << y;
        }
    }
}

TEST(Quantizer, MeansRoundHalvesUp)
{
    const struct {
        std::int64_t sum, count;
        int mean;
    } cases[] = {{0, 1, 0},     {5, 1, 5},     {1, 2, 1},     {1, 3, 0},
                 {2, 3, 1},     {147, 98, 2},  {146, 98, 1},  {255 * 9, 9, 255},
                 {(std::int64_t(3) << 39), std::int64_t(1) << 40, 2}};
    for (const auto& c : cases)
        EXPECT_EQ(RoundedMean(c.sum, c.count), c.mean) << c.sum << " / " << c.count;
}

TEST(ConvertTo8bit, OneSeeThroughPixelAnywhereKeepsItsAlpha)
{
    // A grey picture keeps its alpha rather than take the grey ramp; one of
    // many colours goes to a conversion that keeps alpha in the palette.
    const auto grey = [](int x, int) { return qRgb(x * 9, x * 9, x * 9); };
    const auto many = [](int x, int y) { return qRgb(x * 9, y * 9, (x * y) & 255); };
    for (const QPoint p : {QPoint(0, 0), QPoint(13, 7), QPoint(27, 18)})
        for (const bool colours : {false, true}) {
            SCOPED_TRACE(testing::Message() << (colours ? "many colours" : "grey") << " at " << p.x() << "," << p.y());
            QImage picture = Colour(28, 19, colours ? std::function<QRgb(int, int)>(many) : grey, true);
            picture.setPixel(p, qRgba(40, 40, 40, 100));
            TBitmap bitmap;
            bitmap.SetImage(picture);
            ConvertTo8bit(bitmap);
            ASSERT_EQ(bitmap.PixelFormat(), pf8bit);
            EXPECT_FALSE(bitmap.HasGreyRamp());
            EXPECT_LT(qAlpha(bitmap.Image().pixel(p)), 255);
            if (!colours) {
                EXPECT_EQ(bitmap.Image().pixel(p), picture.pixel(p));
            }
        }
}

TEST(RowParts, EveryRowOnceProgressWholeAndAStopFromAnyPart)
{
    const QImage picture(3, 10, QImage::Format_RGB32);
    for (const int parts : {1, 2, 3, 7, 16}) {
        SCOPED_TRACE(parts);
        std::vector<std::atomic<int>> visits(10);
        std::vector<int> partOf(10, -1), rowsOf(std::size_t(parts), 0);
        TProgress progress;
        ForEachRowInParts(picture, &progress, parts, [&](int part, int y, const std::uint32_t* row) {
            EXPECT_EQ(row, reinterpret_cast<const std::uint32_t*>(picture.constScanLine(y)));
            partOf[std::size_t(y)] = part;
            ++visits[std::size_t(y)];
        });
        for (int y = 0; y < 10; ++y) {
            EXPECT_EQ(visits[std::size_t(y)].load(), 1) << y;
            ASSERT_GE(partOf[std::size_t(y)], 0);
            ++rowsOf[std::size_t(partOf[std::size_t(y)])];
            if (y > 0) {
                EXPECT_LE(partOf[std::size_t(y - 1)], partOf[std::size_t(y)]) << "each part a band, in order";
            }
        }
        for (const int rows : rowsOf)
            EXPECT_TRUE(rows == 10 / parts || rows == (10 + parts - 1) / parts) << "parts of even size";
        EXPECT_EQ(progress.Done(), 10);

        // A failure in the last part, and a cancel, reach the caller once
        // every part has stopped.
        EXPECT_THROW(ForEachRowInParts(picture, nullptr, parts,
                                       [&](int, int y, const std::uint32_t*) {
                                           if (y == 9)
                                               throw std::runtime_error("row 9");
                                       }),
                     std::runtime_error);
        TProgress cancelled;
        cancelled.Cancel();
        int rows = 0;
        EXPECT_THROW(ForEachRowInParts(picture, &cancelled, parts, [&](int, int, const std::uint32_t*) { ++rows; }),
                     TCancelled);
        EXPECT_EQ(rows, 0);
    }
}

TEST(Quantizer, ManyColoursComeCloseToTheOriginalAndNoPixelFartherThanWithQt)
{
    // Floors some 0.25 to 0.6 dB below what the conversion reaches; a palette
    // of histogram cell centres instead of pixel means falls below each.
    const struct {
        const char* name;
        QImage picture;
        double floor;
    } cases[] = {
        {"noise", RandomColour(96, 96, 3, false), 26.75},
        {"shaded", Shaded(160, 120, 5), 42.3},
        {"257 colours", Colour(257, 3, [](int x, int) { return qRgb(x & 255, x / 4, 255 - x / 2); }), 43.5},
        {"chart", Chart(), 33.9},
    };
    for (const auto& c : cases) {
        const Closeness ours = Compare(c.picture, QuantizedTo8bit(c.picture));
        const Closeness qt = Compare(c.picture, c.picture.convertToFormat(QImage::Format_Indexed8));
        EXPECT_GE(ours.psnr, c.floor) << c.name;
        EXPECT_GE(ours.psnr, qt.psnr) << c.name;
        EXPECT_LE(ours.worst, qt.worst) << c.name;
    }
}

TEST(Quantizer, EveryCellGoesToItsNearestColourAfterAnyNumberOfSteps)
{
    // The steps skip cells whose distance bounds rule out a change; the
    // final look-up must still equal a search of the whole palette (lowest
    // index of equally near colours), also with repeated palette colours,
    // on every instruction set the nearest-colour kernel is built for.
    using namespace colourmoments;
    const struct {
        int colours, steps;
        bool repeats;
    } cases[] = {{1, 3, false}, {2, 0, false}, {17, 1, true}, {64, 5, false}, {256, 2, true}, {256, 40, false}};
    Random generator(7);
    const auto random = [&generator](int below) { return generator.Below(below); };
    for (const auto& c : cases) {
        std::vector<Cell> start;
        for (int i = 0; i < 3000; ++i) {
            const int r = random(256), g = random(256), b = random(256), w = 1 + random(9);
            start.push_back({Moments{w, std::int64_t(r) * w, std::int64_t(g) * w, std::int64_t(b) * w}, i, r, g, b});
        }
        QList<QRgb> first;
        for (int i = 0; i < c.colours; ++i)
            first.append(c.repeats && i % 3 == 2 ? first[i - 1] : qRgb(random(256), random(256), random(256)));
        for (const std::int64_t target : kernels::Targets()) {
            SCOPED_TRACE(testing::Message() << c.colours << " colours, " << c.steps << " steps, "
                                            << kernels::TargetName(target));
            kernels::Force(target);
            std::vector<Cell> cells = start;
            QList<QRgb> palette = first;
            for (int step = 0; step < c.steps && Refine(cells, palette);)
                ++step;
            std::vector<std::uint8_t> table(cells.size());
            MapCells(cells, palette, table.data());
            // The kernel alone: the nearest and the next nearest, as keys.
            std::vector<std::int32_t> rgb[3];
            for (int i = 0; i < 256; ++i)
                for (int k = 0; k < 3; ++k)
                    rgb[k].push_back(i >= palette.size() ? kernels::kFarAway : int(palette[i] >> (16 - 8 * k) & 255));
            const kernels::NearestKernel nearest = kernels::Nearest();
            for (const Cell& cell : cells) {
                std::vector<std::uint32_t> keys;
                for (int i = 0; i < 256; ++i) {
                    const int dr = rgb[0][i] - cell.r, dg = rgb[1][i] - cell.g, db = rgb[2][i] - cell.b;
                    keys.push_back(std::uint32_t(dr * dr + dg * dg + db * db) << 8 | std::uint32_t(i));
                }
                std::sort(keys.begin(), keys.end());
                ASSERT_EQ(table[std::size_t(cell.cell)], keys[0] & 255) << "cell " << cell.cell;
                std::uint32_t found[2];
                nearest(rgb[0].data(), rgb[1].data(), rgb[2].data(), 256, cell.r, cell.g, cell.b, found);
                ASSERT_EQ(found[0], keys[0]) << "cell " << cell.cell;
                ASSERT_EQ(found[1], keys[1]) << "cell " << cell.cell;
            }
            kernels::Force(0);
        }
    }
}

TEST(ConvertTo8bit, ProgressReachesItsTotalAndACancelLeavesThePicture)
{
    const QImage pictures[] = {
        Colour(30, 200, [](int x, int y) { return qRgb(x + y, x + y, x + y); }),
        RandomColour(40, 150, 9, false),
        Colour(20, 70, [](int x, int) { return qRgb(x, 3 * x, 7); }),
        RandomColour(10, 90, 2, true),
    };
    for (const QImage& picture : pictures) {
        TBitmap bitmap;
        bitmap.SetImage(picture);
        TProgress progress;
        ConvertTo8bit(bitmap, &progress);
        EXPECT_EQ(progress.Total(), 4 * picture.height());
        EXPECT_EQ(progress.Done(), progress.Total());

        TBitmap kept;
        kept.SetImage(picture);
        const QByteArray before = Bytes(kept);
        TProgress cancelled;
        cancelled.Cancel();
        EXPECT_THROW(ConvertTo8bit(kept, &cancelled), TCancelled);
        EXPECT_EQ(kept.PixelFormat(), pf32bit);
        EXPECT_EQ(Bytes(kept), before);
        // The quantizer's own passes stop too.
        EXPECT_THROW(QuantizedTo8bit(picture, &cancelled), TCancelled);
    }
}
