// Rows for the analysis: the conversion of a picture to 8 bits plus its
// capture ("Thresholding") for a grey picture held as 32-bit and for colour
// pictures, noise and photo-like (against Qt's default conversion, with the
// PSNR of both), and the Haar step over the 512 x 512 matrices.
#include "BenchSupport.h"

#include "analysis/Analysis.h"
#include "image/bitmap/Graphics.h"
#include "image/quantizer/Quantizer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <tuple>

namespace {

// A grey picture held as 32-bit colour: the conversion really runs.
QImage GreyAs32bit(int width, int height)
{
    return bench::GreyPicture(width, height).convertToFormat(QImage::Format_RGB32);
}

// A picture with the traits of a photograph: large areas of related colours
// with smooth shading (a sky, a lit round object, textured ground), edges
// between them and a little sensor noise. Seeded, so every run sees the same.
QImage PhotoLike(int width, int height, unsigned seed = 1)
{
    QImage image(width, height, QImage::Format_RGB32);
    std::uint64_t state = 0x2545F4914F6CDD1Dull * (seed + 1);
    const auto clamp = [](double v) { return std::clamp(int(v), 0, 255); };
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        const double v = double(y) / height;
        for (int x = 0; x < width; ++x) {
            const double u = double(x) / width;
            double r, g, b;
            const double du = u - 0.62, dv = v - 0.66, d2 = du * du + dv * dv;
            if (v < 0.38 + 0.06 * std::sin(9.0 * u)) { // sky, lighter toward the horizon
                r = 70 + 110 * v;
                g = 120 + 100 * v;
                b = 235 - 30 * v;
            } else if (d2 < 0.04) { // a red ball lit from the upper left
                const double light = std::clamp(1.1 - 3.5 * std::sqrt((du + 0.07) * (du + 0.07) + (dv + 0.07) * (dv + 0.07)), 0.15, 1.0);
                r = 40 + 210 * light;
                g = 15 + 70 * light * light;
                b = 20 + 50 * light * light;
            } else { // grass with stripes of light and shade
                const double t = 0.5 + 0.5 * std::sin(55 * u + 4 * std::sin(23 * v));
                r = 45 + 60 * t * v;
                g = 85 + 90 * t;
                b = 30 + 25 * t;
            }
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            const auto noise = [&](int shift) { return double(int((state >> shift) & 7) - 3); };
            row[x] = qRgb(clamp(r + noise(8)), clamp(g + noise(16)), clamp(b + noise(24)));
        }
    }
    return image;
}

// One copy of each colour picture for the whole run (16000 x 15000 is 960 MB).
const QImage& ColourOf(int width, int height, bool photo = false)
{
    static std::map<std::tuple<int, int, bool>, QImage> pictures;
    QImage& picture = pictures[{width, height, photo}];
    if (picture.isNull())
        picture = photo ? PhotoLike(width, height) : bench::ColourPicture(width, height);
    return picture;
}

std::function<void(benchmark::State&)> Thresholding(std::function<QImage()> picture)
{
    return [picture](benchmark::State& state) {
        const QImage input = picture();
        for (auto _ : state) {
            state.PauseTiming();
            {
                TBitmap bitmap;
                bitmap.SetImage(input);
                state.ResumeTiming();
                CaptureBitmap(bitmap);
                benchmark::DoNotOptimize(CaptureMatrix[0]);
                state.PauseTiming();
            } // the 8-bit picture is released outside the timing
            state.ResumeTiming();
        }
    };
}

// The most resident memory the conversion holds, the 32-bit picture included.
std::function<std::size_t()> ThresholdingPeak(std::function<QImage()> make)
{
    return [make] {
        bench::PeakMeter meter;
        TBitmap bitmap;
        bitmap.SetImage(make());
        meter.Start();
        CaptureBitmap(bitmap);
        return meter.Peak();
    };
}

// The peak signal-to-noise ratio of an 8-bit picture against the colour
// picture it was made from, over the three colour channels.
double Psnr(const QImage& colour, const QImage& indexed)
{
    const QList<QRgb> palette = indexed.colorTable();
    double squares = 0;
    for (int y = 0; y < colour.height(); ++y) {
        const auto* a = reinterpret_cast<const QRgb*>(colour.constScanLine(y));
        const std::uint8_t* b = indexed.constScanLine(y);
        std::int64_t row = 0;
        for (int x = 0; x < colour.width(); ++x) {
            const QRgb p = a[x], q = palette[b[x]];
            const int dr = qRed(p) - qRed(q), dg = qGreen(p) - qGreen(q), db = qBlue(p) - qBlue(q);
            row += dr * dr + dg * dg + db * db;
        }
        squares += double(row);
    }
    const double mse = squares / (3.0 * double(colour.width()) * double(colour.height()));
    return 10 * std::log10(255.0 * 255.0 / mse);
}

const bool registered = bench::Register([] {
    {
        bench::Row row;
        row.command = "Thresholding (convert + capture)";
        row.picture = "8192² grey, 32-bit";
        row.bytes = bench::PictureBytes(8192, 8192, true);
        row.ours = Thresholding([] { return GreyAs32bit(8192, 8192); });
        row.peak = ThresholdingPeak([] { return GreyAs32bit(8192, 8192); });
        row.peakLimit = row.bytes + row.bytes / 4 + (std::size_t(8) << 20);
        row.maxTimesMemcpy = 1.5;
        bench::AddRow(std::move(row));
    }
    for (const auto& [width, height, photo] : {std::tuple{8192, 8192, false}, std::tuple{16000, 15000, false},
                                               std::tuple{4096, 4096, true}}) {
        bench::Row row;
        row.command = "Colour thresholding";
        row.picture = bench::PictureName(width, height, true) + (photo ? " photo-like" : "");
        row.bytes = bench::PictureBytes(width, height, true);
        row.ours = Thresholding([width, height, photo] { return ColourOf(width, height, photo); });
        row.reference = [width, height, photo](benchmark::State& state) {
            const QImage& input = ColourOf(width, height, photo);
            for (auto _ : state) {
                QImage indexed = input.convertToFormat(QImage::Format_Indexed8);
                benchmark::DoNotOptimize(indexed.constBits());
                state.PauseTiming(); // the 8-bit picture is released outside the timing
                indexed = QImage();
                state.ResumeTiming();
            }
        };
        row.referenceName = "Qt's convertToFormat";
        row.maxTimesReference = 0.25;
        row.peak = ThresholdingPeak(
            [width, height, photo] { return photo ? PhotoLike(width, height) : bench::ColourPicture(width, height); });
        row.peakLimit = row.bytes + row.bytes / 4 + (std::size_t(8) << 20);
        row.note = [width, height, photo] {
            const QImage& input = ColourOf(width, height, photo);
            char text[120];
            std::snprintf(text, sizeof text, "PSNR %.2f dB (Qt's default conversion: %.2f dB)",
                          Psnr(input, QuantizedTo8bit(input)),
                          Psnr(input, input.convertToFormat(QImage::Format_Indexed8)));
            return std::string(text);
        };
        bench::AddRow(std::move(row));
    }
    {
        bench::Row row;
        row.command = "Haar step";
        row.picture = "512² matrices";
        row.bytes = sizeof(TMatrix);
        row.ours = [](benchmark::State& state) {
            for (auto _ : state) {
                HaarStep();
                benchmark::DoNotOptimize(HaarMatrix[2]);
            }
        };
        bench::AddRow(std::move(row));
    }
});

} // namespace
