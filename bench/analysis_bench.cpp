// Rows for the analysis: the conversion of a grey picture to 8 bits plus its
// capture ("Thresholding"), and the Haar step over the 512 x 512 matrices.
#include "BenchSupport.h"

#include "analysis/Analysis.h"
#include "image/Graphics.h"

namespace {

const bool registered = bench::Register([] {
    {
        bench::Row row;
        row.command = "Thresholding (convert + capture)";
        row.picture = "8192² grey, 32-bit";
        row.bytes = bench::PictureBytes(8192, 8192, true);
        row.ours = [](benchmark::State& state) {
            // A grey picture held as 32-bit colour: the conversion really runs.
            const QImage grey = bench::GreyPicture(8192, 8192).convertToFormat(QImage::Format_RGB32);
            for (auto _ : state) {
                state.PauseTiming();
                TBitmap bitmap;
                bitmap.SetImage(grey);
                state.ResumeTiming();
                CaptureBitmap(bitmap);
                benchmark::DoNotOptimize(CaptureMatrix[0]);
            }
        };
        row.maxTimesMemcpy = 2;
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
