// Rows for opening and saving an 8192² picture as PNG, JPEG and BMP through
// TPicture, against a bare QImageReader::read and a bare QImageWriter::write
// followed by fsync (TPicture saves through QSaveFile, which syncs the file
// to disk before it replaces the old one).
#include "BenchSupport.h"

#include "image/Graphics.h"

#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>

#include <unistd.h>

#include <cstdint>

namespace {

constexpr int kSide = 8192;

// A photograph-like picture: smooth gradients with a little noise, so that
// the compressed kinds do real work without taking minutes.
QImage Photo(bool grey)
{
    QImage image(kSide, kSide, QImage::Format_RGB32);
    std::uint32_t state = 12345;
    for (int y = 0; y < kSide; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < kSide; ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = int(state >> 29);
            const int r = (x / 40 + noise) & 255, g = (y / 40 + noise) & 255, b = ((x + y) / 80 + noise) & 255;
            row[x] = grey ? qRgb(r, r, r) : qRgb(r, g, b);
        }
    }
    if (grey)
        return image.convertToFormat(QImage::Format_Grayscale8);
    return image;
}

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
        QImageWriter(path, kind).write(Photo(grey));
    return path;
}

void AddOpen(const char* kind, const char* name, bool grey)
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
    row.reference = [kind, grey](benchmark::State& state) {
        const QString path = FileOf(kind, grey);
        for (auto _ : state) {
            QImage image;
            QImageReader(path).read(&image);
            benchmark::DoNotOptimize(image.constBits());
            state.PauseTiming();
            image = QImage();
            state.ResumeTiming();
        }
    };
    row.referenceName = "QImageReader::read";
    row.maxTimesReference = 1.1;
    bench::AddRow(std::move(row));
}

void AddSave(const char* kind, const char* name)
{
    bench::Row row;
    row.command = std::string("Save ") + name;
    row.picture = bench::PictureName(kSide, kSide, true);
    row.ours = [kind](benchmark::State& state) {
        TPicture picture;
        picture.Bitmap()->SetImage(Photo(false));
        const QString path = Folder() + QStringLiteral("/saved-ours.") + QString::fromLatin1(kind);
        for (auto _ : state)
            picture.SaveToFile(path);
    };
    row.reference = [kind](benchmark::State& state) {
        const QImage image = Photo(false);
        const QString path = Folder() + QStringLiteral("/saved-bare.") + QString::fromLatin1(kind);
        for (auto _ : state) {
            QFile file(path);
            file.open(QIODevice::WriteOnly);
            QImageWriter writer(&file, kind);
            writer.write(image);
            file.flush();
            ::fsync(file.handle());
        }
    };
    row.referenceName = "QImageWriter + fsync";
    row.maxTimesReference = 1.1;
    bench::AddRow(std::move(row));
}

const bool registered = bench::Register([] {
    AddOpen("png", "PNG", false);
    AddOpen("png", "PNG", true);
    AddOpen("jpg", "JPEG", false);
    AddOpen("bmp", "BMP", false);
    AddSave("png", "PNG");
    AddSave("jpg", "JPEG");
    AddSave("bmp", "BMP");
});

} // namespace
