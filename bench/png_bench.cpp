// PNG rows beyond the 8192² ones of files_bench.cpp: saving a photograph-
// like picture and a screenshot through TPicture against a bare
// QImageWriter::write plus fsync, the sizes of the files both write, and
// opening the photograph against a bare QImageReader::read. The peak memory
// of saving the photograph is measured too.
#include "BenchSupport.h"
#include "PngPictures.h"

#include "image/bitmap/Graphics.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>


#include <map>
#include <string>

namespace {

struct Picture {
    const char* name; // as the row's picture column shows it
    int width;
    int height;
    bool screenshot;
};

const Picture kPhoto{"6000 × 4000 photo", 6000, 4000, false};
const Picture kScreenshot{"3840 × 2160 screenshot", 3840, 2160, true};
const Picture kNoise{"8192² colour", 8192, 8192, false};

const QImage& ImageOf(const Picture& picture)
{
    static std::map<std::string, QImage> made;
    QImage& image = made[picture.name];
    if (image.isNull()) {
        if (picture.width == 8192)
            image = bench::NoisyGradient(picture.width, false);
        else
            image = picture.screenshot ? bench::ScreenshotPicture(picture.width, picture.height)
                                       : bench::PhotoPicture(picture.width, picture.height);
    }
    return image;
}

QString Folder()
{
    static QTemporaryDir dir;
    return dir.path();
}

QString PathOf(const Picture& picture, const char* who)
{
    return Folder() + QStringLiteral("/%1-%2x%3.png").arg(QLatin1String(who)).arg(picture.width).arg(picture.height);
}

// Qt's writer as an application would use it, with the data on disk at
// the end as TPicture's save leaves it.
void QtSave(const QImage& image, const QString& path)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    QImageWriter writer(&file, "png");
    writer.write(image);
    bench::SyncToDisk(file);
}

void OurSave(const QImage& image, const QString& path)
{
    TPicture picture;
    picture.Bitmap()->SetImage(image);
    picture.SaveToFile(path);
}

void AddSave(const Picture& picture, double target, bool peak)
{
    bench::Row row;
    row.command = "Save PNG";
    row.picture = picture.name;
    row.ours = [&picture](benchmark::State& state) {
        TPicture ours;
        ours.Bitmap()->SetImage(ImageOf(picture));
        const QString path = PathOf(picture, "ours");
        for (auto _ : state)
            ours.SaveToFile(path);
    };
    row.reference = [&picture](benchmark::State& state) {
        const QImage& image = ImageOf(picture);
        const QString path = PathOf(picture, "qt");
        for (auto _ : state)
            QtSave(image, path);
    };
    row.referenceName = "QImageWriter + fsync";
    row.maxTimesReference = target;
    if (peak) {
        row.peak = [&picture] {
            bench::PeakMeter meter;
            TPicture ours;
            ours.Bitmap()->SetImage(bench::PhotoPicture(picture.width, picture.height));
            meter.Start();
            ours.SaveToFile(PathOf(picture, "peak"));
            return meter.Peak();
        };
        row.peakLimit = bench::PictureBytes(picture.width, picture.height, true) + (std::size_t(64) << 20);
    }
    bench::AddRow(std::move(row));
}

// Both files once, then their sizes in the table: MB in the ms column, ours
// / Qt's in × ref.
void AddSize(const Picture& picture, double target)
{
    bench::Row row;
    row.command = "PNG size";
    row.picture = picture.name;
    row.manualTime = true;
    row.ours = [&picture](benchmark::State& state) {
        const QString path = PathOf(picture, "size-ours");
        for (auto _ : state) {
            if (!QFile::exists(path))
                OurSave(ImageOf(picture), path);
            state.SetIterationTime(double(QFileInfo(path).size()) / 1e9);
        }
    };
    row.reference = [&picture](benchmark::State& state) {
        const QString path = PathOf(picture, "size-qt");
        for (auto _ : state) {
            if (!QFile::exists(path))
                QtSave(ImageOf(picture), path);
            state.SetIterationTime(double(QFileInfo(path).size()) / 1e9);
        }
    };
    row.referenceName = "QImageWriter (MB)";
    row.maxTimesReference = target;
    bench::AddRow(std::move(row));
}

void AddOpen(const Picture& picture, double target)
{
    bench::Row row;
    row.command = "Open PNG";
    row.picture = picture.name;
    // The file Qt's writer made, as most PNG files a user opens come from
    // other programs.
    const auto file = [&picture] {
        const QString path = PathOf(picture, "open");
        if (!QFile::exists(path))
            QtSave(ImageOf(picture), path);
        return path;
    };
    row.ours = [file](benchmark::State& state) {
        const QString path = file();
        for (auto _ : state) {
            TPicture ours;
            ours.LoadFromFile(path);
            benchmark::DoNotOptimize(ours.Bitmap()->Image().constBits());
            state.PauseTiming();
            ours.Bitmap()->SetImage(QImage());
            state.ResumeTiming();
        }
    };
    row.reference = bench::QtReadReference(file);
    row.referenceName = "QImageReader::read";
    row.maxTimesReference = target;
    bench::AddRow(std::move(row));
}

const bool registered = bench::Register([] {
    AddSave(kPhoto, 0.25, true);
    AddSave(kScreenshot, 0.5, false);
    AddSize(kPhoto, 1.05);
    AddSize(kNoise, 0);
    AddSize(kScreenshot, 1.02);
    AddOpen(kPhoto, 0.8);
});

} // namespace
