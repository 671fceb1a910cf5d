// Writes the picture fuzzer's seed corpus into the folder named on the command
// line: small valid pictures of every layout in every kind Qt writes, plus
// PNG files of our own writer (one with a profile, a resolution and text,
// one with a damaged text chunk besides), hand-made GIF and TGA files (kinds Qt reads
// but does not write), each
// prefixed by the byte that picks its extension.
#include "FuzzKinds.h"
#include "image/bitmap/Bitmap.h"
#include "image/files/png/PngChunks.h"
#include "image/files/png/PngWriter.h"

#include <QBuffer>
#include <QColorSpace>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>

#include <cstdio>

namespace {

int written = 0;

void Put(const QString& folder, std::size_t kind, const QString& name, const QByteArray& body)
{
    QFile file(QDir(folder).filePath(name + QLatin1Char('.') + QLatin1String(fuzzkinds::kExtensions[kind])));
    if (file.open(QIODevice::WriteOnly)) {
        file.putChar(char(kind));
        file.write(body);
        ++written;
    }
}

QImage Pattern(int width, int height, QImage::Format format)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgba(x * 37 & 0xFF, y * 91 & 0xFF, (x ^ y) * 13 & 0xFF, 255 - x * 8));
    return image.convertToFormat(format);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    const QImage pictures[] = {
        Pattern(1, 1, QImage::Format_RGB32),      Pattern(9, 5, QImage::Format_Grayscale8),
        Pattern(16, 16, QImage::Format_RGB32),    Pattern(7, 3, QImage::Format_ARGB32),
        Pattern(13, 11, QImage::Format_Indexed8), Pattern(32, 32, QImage::Format_Mono),
    };
    const auto writable = QImageWriter::supportedImageFormats();
    for (std::size_t kind = 0; kind < fuzzkinds::kCount; ++kind) {
        const QByteArray format = fuzzkinds::kExtensions[kind];
        if (!writable.contains(format))
            continue;
        int n = 0;
        for (const QImage& picture : pictures) {
            QBuffer buffer;
            buffer.open(QIODevice::WriteOnly);
            QImageWriter writer(&buffer, format);
            if (writer.write(picture))
                Put(folder, kind, QStringLiteral("seed%1").arg(n), buffer.data());
            ++n;
        }
    }
    // The same pictures as our own PNG writer makes them (in the bitmap
    // layouts), which our PNG reader then reads.
    int n = 0;
    for (const QImage& picture : pictures) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        if (WritePng(buffer, TBitmap::Normalized(picture)))
            Put(folder, 0, QStringLiteral("ours%1").arg(n), buffer.data());
        ++n;
    }
    // A picture carrying a profile, a resolution and text of every chunk
    // kind, and the same with a damaged compressed text before its end.
    QImage carrying = TBitmap::Normalized(pictures[2]);
    carrying.setColorSpace(QColorSpace(QColorSpace::AdobeRgb));
    carrying.setDotsPerMeterX(11811);
    carrying.setDotsPerMeterY(5906);
    carrying.setText(QStringLiteral("Title"), QStringLiteral("seed"));
    carrying.setText(QStringLiteral("Comment"), QString(2000, QLatin1Char('c')));
    carrying.setText(QStringLiteral("Author"), QStringLiteral("\u00FCber \u2713"));
    QBuffer carried;
    carried.open(QIODevice::WriteOnly);
    if (WritePng(carried, carrying)) {
        Put(folder, 0, QStringLiteral("carried0"), carried.data());
        QBuffer chunk;
        chunk.open(QIODevice::WriteOnly);
        TChunkWriter chunks(chunk);
        const std::uint8_t damaged[] = {'K', 'e', 'y', 0, 0, 0x78, 0x9C, 0xFF, 0x00, 0x13};
        chunks.Chunk("zTXt", damaged, sizeof damaged);
        const QByteArray bytes = carried.data();
        Put(folder, 0, QStringLiteral("carried1"), bytes.chopped(12) + chunk.data() + bytes.right(12));
    }
    for (std::size_t kind = 0; kind < fuzzkinds::kCount; ++kind) {
        const QByteArray format = fuzzkinds::kExtensions[kind];
        if (format == "gif") // 2 x 2, two colours, LZW minimum code size 2
            Put(folder, kind, QStringLiteral("seed0"),
                QByteArray::fromHex("47494638396102000200800000000000ffffff21f90400000000002c00000000020002"
                                    "0000020384120500" "3b"));
        if (format == "tga") { // 2 x 2, uncompressed 24-bit, bottom-up
            QByteArray tga = QByteArray::fromHex("000002000000000000000000020002001800");
            tga += QByteArray::fromHex("0000ff00ff00ff0000ffffff");
            Put(folder, kind, QStringLiteral("seed0"), tga);
            tga[2] = 10; // the same picture run-length encoded
            tga.truncate(18);
            tga += QByteArray::fromHex("810000ff81ff0000");
            Put(folder, kind, QStringLiteral("seed1"), tga);
        }
    }
    std::printf("%d seed files in %s\n", written, argv[1]);
    return 0;
}
