// Rows for opening and saving an 8192² picture as PNG, JPEG and BMP through
// TPicture, against a bare QImageReader::read and a bare QImageWriter::write
// followed by fsync (TPicture saves through QSaveFile, which syncs the file
// to disk before it replaces the old one).
#include "BenchSupport.h"
#include "PngPictures.h"

#include "image/bitmap/Graphics.h"

#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>


#include <cstdint>

namespace {

using bench::NoisyGradient;

constexpr int kSide = 8192;

QString Folder()
{
    static QTemporaryDir dir;
    return dir.path();
}

// The file a row opens, written once.
QString FileOf(const char* kind, bool grey)
{
    const QString path = Folder() + QStringLiteral("/open-%1-%2.%3").arg(grey ? "grey" : "colour").arg(kind).arg(kind);
    if (!QFile::exists(path))
        QImageWriter(path, kind).write(NoisyGradient(kSide, grey));
    return path;
}

void AddOpen(const char* kind, const char* name, bool grey, double target = 1.1)
{
    bench::Row row;
    row.command = std::string("Open ") + name;
    row.picture = bench::PictureName(kSide, kSide, !grey);
    row.ours = [kind, grey](benchmark::State& state) {
        const QString path = FileOf(kind, grey);
        for (auto _ : state) {
            TPicture picture;
            picture.LoadFromFile(path);
            benchmark::DoNotOptimize(picture.Bitmap()->Image().constBits());
            state.PauseTiming();
            picture.Bitmap()->SetImage(QImage()); // released outside the timing
            state.ResumeTiming();
        }
    };
    row.reference = bench::QtReadReference([kind, grey] { return FileOf(kind, grey); });
    row.referenceName = "QImageReader::read";
    row.maxTimesReference = target;
    bench::AddRow(std::move(row));
}

void AddSave(const char* kind, const char* name, double target = 1.1)
{
    bench::Row row;
    row.command = std::string("Save ") + name;
    row.picture = bench::PictureName(kSide, kSide, true);
    row.ours = [kind](benchmark::State& state) {
        TPicture picture;
        picture.Bitmap()->SetImage(NoisyGradient(kSide, false));
        const QString path = Folder() + QStringLiteral("/saved-ours.") + QString::fromLatin1(kind);
        for (auto _ : state)
            picture.SaveToFile(path);
    };
    row.reference = [kind](benchmark::State& state) {
        const QImage image = NoisyGradient(kSide, false);
        const QString path = Folder() + QStringLiteral("/saved-bare.") + QString::fromLatin1(kind);
        for (auto _ : state) {
            QFile file(path);
            file.open(QIODevice::WriteOnly);
            QImageWriter writer(&file, kind);
            writer.write(image);
            bench::SyncToDisk(file);
        }
    };
    row.referenceName = "QImageWriter + fsync";
    row.maxTimesReference = target;
    bench::AddRow(std::move(row));
}

const bool registered = bench::Register([] {
    AddOpen("png", "PNG", false, 0.8);
    AddOpen("png", "PNG", true);
    AddOpen("jpg", "JPEG", false);
    AddOpen("bmp", "BMP", false);
    AddSave("png", "PNG", 0.25);
    AddSave("jpg", "JPEG");
    AddSave("bmp", "BMP");
});

} // namespace
