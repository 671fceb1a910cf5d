// Fuzzes the road a picture file takes: bytes on disk, TPicture::LoadFromFile
// (our PNG reader or Qt's, the size limit, the normalisation into the three
// layouts),
// then every command on the loaded bitmap: pixel reads inside and outside,
// complement twice, mirror twice, edge detection, capture and the Haar step.
// The input's first byte picks the file's extension; the rest is the file.
// Aborts when an invariant breaks, so libFuzzer records the input.
#include "FuzzKinds.h"
#include "analysis/Analysis.h"
#include "image/bitmap/Graphics.h"
#include "image/operations/Operations.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

QTemporaryDir* folder = nullptr;

[[noreturn]] void Broken(const char* what)
{
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

QByteArray Rows(const TBitmap& bitmap)
{
    QByteArray out;
    const int rowBytes = bitmap.Width() * bitmap.BytesPerPixel();
    for (int y = 0; y < bitmap.Height(); ++y)
        out.append(reinterpret_cast<const char*>(bitmap.ScanLine(y)), rowBytes);
    return out;
}

// The colour of every pixel, as the canvas reads it.
QByteArray Colours(TBitmap& bitmap)
{
    QByteArray out;
    out.reserve(qsizetype(bitmap.Width()) * bitmap.Height() * 4);
    TCanvas* canvas = bitmap.Canvas();
    for (int y = 0; y < bitmap.Height(); ++y)
        for (int x = 0; x < bitmap.Width(); ++x) {
            const TColor c = canvas->Pixels(x, y);
            out.append(reinterpret_cast<const char*>(&c), sizeof c);
        }
    return out;
}

void ReadPixels(TBitmap& bitmap)
{
    const int w = bitmap.Width();
    const int h = bitmap.Height();
    const int xs[] = {-1, 0, w / 2, w - 1, w, w + 1000, -2147483647 - 1, 2147483647};
    const int ys[] = {-1, 0, h / 2, h - 1, h, h + 1000, -2147483647 - 1, 2147483647};
    for (int x : xs)
        for (int y : ys) {
            const TColor c = bitmap.Canvas()->Pixels(x, y);
            const bool inside = x >= 0 && y >= 0 && x < w && y < h;
            if (inside != (c != clNone) || (inside && (c & 0xFF000000)))
                Broken("a pixel read inside is a colour, outside clNone");
        }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // Qt's readers warn about every malformed file; at thousands of inputs a
    // second that drowns libFuzzer's own report.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    static QCoreApplication application(*argc, *argv);
    folder = new QTemporaryDir(QStringLiteral("/dev/shm/imagebench-fuzz-XXXXXX"));
    if (!folder->isValid())
        folder = new QTemporaryDir();
    // Load every reader plugin before the first input, so that Qt's one-off
    // plugin state is not taken for a leak of that input.
    TPicture warm;
    for (const char* extension : fuzzkinds::kExtensions) {
        const QString path = folder->filePath(QStringLiteral("warm.") + QLatin1String(extension));
        QFile::remove(path);
        try {
            warm.LoadFromFile(path);
        } catch (const Exception&) {
        }
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const QString path = folder->filePath(QStringLiteral("input.") +
                                          QLatin1String(fuzzkinds::kExtensions[data[0] % fuzzkinds::kCount]));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            Broken("cannot write the input file");
        file.write(reinterpret_cast<const char*>(data + 1), qint64(size - 1));
    }

    TPicture picture;
    int changes = 0;
    picture.OnChange = [&changes] { ++changes; };
    try {
        picture.LoadFromFile(path);
    } catch (const Exception& error) {
        if (!picture.Bitmap()->Empty() || changes != 0)
            Broken("a failed load changed the picture");
        if (error.Message().isEmpty())
            Broken("a failed load gave no reason");
        return 0;
    }
    TBitmap& bitmap = *picture.Bitmap();
    if (bitmap.Empty() || changes == 0)
        Broken("a load reported success without a picture");
    const int bpp = bitmap.BytesPerPixel();
    if (!(bpp == 1 || bpp == 4))
        Broken("a loaded bitmap is 8 or 32 bits per pixel");
    if (bitmap.PixelFormat() == pf8bit && bitmap.Image().colorCount() != 256)
        Broken("an 8-bit bitmap has 256 palette entries");

    // Commands run only on pictures small enough to keep each input quick;
    // the load above has already met every byte of the file.
    if (qint64(bitmap.Width()) * bitmap.Height() > (qint64(1) << 22))
        return 0;

    ReadPixels(bitmap);
    const QByteArray before = Rows(bitmap);
    Complement(bitmap);
    Complement(bitmap);
    if (Rows(bitmap) != before)
        Broken("complement twice restores the picture");

    const QByteArray colours = Colours(bitmap);
    MirrorHorizontally(bitmap);
    MirrorHorizontally(bitmap);
    if (Colours(bitmap) != colours)
        Broken("mirror twice restores the picture");

    EdgeDetect(bitmap);
    ReadPixels(bitmap);

    const int w = bitmap.Width();
    const int h = bitmap.Height();
    ConvertTo8bit(bitmap);
    if (bitmap.Width() != w || bitmap.Height() != h)
        Broken("conversion to 8 bits keeps the picture's size");
    if (bitmap.BytesPerPixel() != 1 || bitmap.Image().colorCount() != 256)
        Broken("conversion to 8 bits gives 256 palette entries");
    CaptureBitmap(bitmap);
    if (bitmap.Width() != w || bitmap.Height() != h)
        Broken("capture keeps the picture's size");
    HaarStep();
    ReadPixels(bitmap);
    Complement(bitmap);
    EdgeDetect(bitmap);
    MirrorHorizontally(bitmap);
    return 0;
}
