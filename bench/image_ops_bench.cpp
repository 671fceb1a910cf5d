// Rows for the picture commands: complement, edge detection and the
// horizontal mirror, each on grey pictures of three sizes and one colour
// picture, against memcpy and (when built with it) OpenCV in one thread.
#include "BenchSupport.h"

#include "image/bitmap/Graphics.h"
#include "image/operations/Operations.h"

#ifdef IMAGEBENCH_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

struct Size {
    int width;
    int height;
    bool colour;
    bool targets; // the sizes the speed and memory targets are set for
};
constexpr Size kSizes[] = {
    {512, 512, false, false},
    {4096, 4096, false, false},
    {8192, 8192, false, true},
    {4096, 4096, true, true},
};

QImage Picture(const Size& size)
{
    return size.colour ? bench::ColourPicture(size.width, size.height) : bench::GreyPicture(size.width, size.height);
}

using Command = void (*)(TBitmap&);

std::function<void(benchmark::State&)> Ours(Command command, Size size)
{
    return [command, size](benchmark::State& state) {
        TBitmap bitmap;
        bitmap.SetImage(Picture(size)); // the bitmap holds the only reference, as a loaded picture does
        for (auto _ : state) {
            command(bitmap);
            benchmark::DoNotOptimize(bitmap.ScanLine(0)[0]);
        }
    };
}

std::function<std::size_t()> Peak(Command command, Size size)
{
    return [command, size] {
        bench::PeakMeter meter;
        TBitmap bitmap;
        bitmap.SetImage(Picture(size));
        meter.Start();
        command(bitmap);
        return meter.Peak();
    };
}

#ifdef IMAGEBENCH_HAVE_OPENCV
cv::Mat MatOf(const QImage& image)
{
    const cv::Mat view(image.height(), image.width(), image.depth() == 8 ? CV_8UC1 : CV_8UC4,
                       const_cast<uchar*>(image.constBits()), size_t(image.bytesPerLine()));
    return view.clone();
}

// OpenCV's torus Laplacian: a wrapped border, then the kernel over the
// interior of the bordered picture (which then has real neighbours all round).
void OpenCvEdges(const cv::Mat& src, cv::Mat& bordered, cv::Mat& dst)
{
    static const cv::Mat kernel = (cv::Mat_<float>(3, 3) << -1, -1, -1, -1, 8, -1, -1, -1, -1);
    cv::copyMakeBorder(src, bordered, 1, 1, 1, 1, cv::BORDER_WRAP);
    cv::filter2D(bordered(cv::Rect(1, 1, src.cols, src.rows)), dst, -1, kernel, cv::Point(-1, -1), 0,
                 cv::BORDER_REPLICATE);
}

// Our result on the same picture, checked against OpenCV's before timing, so
// that the two columns do the same work.
bool SameAsOurs(Command command, const QImage& picture, const cv::Mat& theirs, bool colourOnly)
{
    TBitmap bitmap;
    bitmap.SetImage(picture);
    command(bitmap);
    const cv::Mat ours = MatOf(bitmap.Image());
    if (!colourOnly)
        return cv::countNonZero(ours.reshape(1) != theirs.reshape(1)) == 0;
    // OpenCV filters alpha too; compare B, G and R.
    cv::Mat a[4], b[4];
    cv::split(ours, a);
    cv::split(theirs, b);
    for (int c = 0; c < 3; ++c)
        if (cv::countNonZero(a[c] != b[c]) != 0)
            return false;
    return true;
}

std::function<void(benchmark::State&)> OpenCvComplement(Size size)
{
    return [size](benchmark::State& state) {
        cv::setNumThreads(1);
        cv::Mat m = MatOf(Picture(size));
        for (auto _ : state) {
            cv::bitwise_not(m, m);
            benchmark::DoNotOptimize(m.data);
        }
    };
}

std::function<void(benchmark::State&)> OpenCvEdgeDetect(Size size)
{
    return [size](benchmark::State& state) {
        cv::setNumThreads(1);
        const QImage picture = Picture(size);
        const cv::Mat src = MatOf(picture);
        cv::Mat bordered, dst;
        OpenCvEdges(src, bordered, dst);
        if (!SameAsOurs(EdgeDetect, picture, dst, size.colour)) {
            state.SkipWithError("OpenCV's edges differ from ours");
            return;
        }
        for (auto _ : state) {
            OpenCvEdges(src, bordered, dst);
            benchmark::DoNotOptimize(dst.data);
        }
    };
}

std::function<void(benchmark::State&)> OpenCvFlip(Size size)
{
    return [size](benchmark::State& state) {
        cv::setNumThreads(1);
        const QImage picture = Picture(size);
        const cv::Mat src = MatOf(picture);
        cv::Mat dst;
        cv::flip(src, dst, 1);
        if (!SameAsOurs(MirrorHorizontally, picture, dst, false)) {
            state.SkipWithError("OpenCV's mirror differs from ours");
            return;
        }
        for (auto _ : state) {
            cv::flip(src, dst, 1);
            benchmark::DoNotOptimize(dst.data);
        }
    };
}
#endif

// Targets: times memcpy on 8-bit and on colour pictures, times the reference.
void AddCommand(const char* name, Command command, double greyTimesMemcpy, double colourTimesMemcpy,
                double maxTimesReference,
                const char* referenceName)
{
    for (const Size& size : kSizes) {
        bench::Row row;
        row.command = name;
        row.picture = bench::PictureName(size.width, size.height, size.colour);
        row.bytes = bench::PictureBytes(size.width, size.height, size.colour);
        row.ours = Ours(command, size);
        if (size.targets) {
            row.peak = Peak(command, size);
            row.peakLimit = row.bytes + (std::size_t(8) << 20); // they work in place
            row.maxTimesMemcpy = size.colour ? colourTimesMemcpy : greyTimesMemcpy;
            row.maxTimesReference = maxTimesReference;
        }
#ifdef IMAGEBENCH_HAVE_OPENCV
        row.referenceName = referenceName;
        if (command == Complement)
            row.reference = OpenCvComplement(size);
        else if (command == EdgeDetect)
            row.reference = OpenCvEdgeDetect(size);
        else
            row.reference = OpenCvFlip(size);
#else
        (void)referenceName;
#endif
        bench::AddRow(std::move(row));
    }
}

const bool registered = bench::Register([] {
    AddCommand("Complement", Complement, 0, 0, 1.0, "cv::bitwise_not");
    AddCommand("Edge detection", EdgeDetect, 1.2, 1.6, 0.5, "copyMakeBorder+filter2D");
    AddCommand("Mirror", MirrorHorizontally, 0.6, 0, 0.5, "cv::flip");
});

} // namespace
