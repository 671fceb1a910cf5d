// Rows for the analysis: the conversion of a picture to 8 bits plus its
// capture ("Thresholding") for a grey picture held as 32-bit and for colour
// pictures (against Qt's default conversion, with the PSNR of both), and the
// Haar step over the 512 x 512 matrices.
#include "BenchSupport.h"

#include "analysis/Analysis.h"
#include "image/Graphics.h"
#include "image/Quantizer.h"

#include <cmath>
#include <cstdio>
#include <map>

namespace {

// A grey picture held as 32-bit colour: the conversion really runs.
QImage GreyAs32bit(int width, int height)
{
    return bench::GreyPicture(width, height).convertToFormat(QImage::Format_RGB32);
}

// One copy of each colour picture for the whole run (16000 x 15000 is 960 MB).
const QImage& ColourOf(int width, int height)
{
    static std::map<std::pair<int, int>, QImage> pictures;
    QImage& picture = pictures[{width, height}];
    if (picture.isNull())
        picture = bench::ColourPicture(width, height);
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
    for (const auto& size : {std::pair{8192, 8192}, std::pair{16000, 15000}}) {
        const int width = size.first, height = size.second;
        bench::Row row;
        row.command = "Colour thresholding";
        row.picture = bench::PictureName(width, height, true);
        row.bytes = bench::PictureBytes(width, height, true);
        row.ours = Thresholding([width, height] { return ColourOf(width, height); });
        row.reference = [width, height](benchmark::State& state) {
            const QImage& input = ColourOf(width, height);
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
        row.peak = ThresholdingPeak([width, height] { return bench::ColourPicture(width, height); });
        row.peakLimit = row.bytes + row.bytes / 4 + (std::size_t(8) << 20);
        row.note = [width, height] {
            const QImage& input = ColourOf(width, height);
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
