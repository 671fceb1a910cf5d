#include "Graphics.h"
#include "kernels/Kernels.h"
#include "Quantizer.h"
#include "Reuse.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>

#include <cstring>

namespace {

QString Shown(const QString& fileName) { return QDir::toNativeSeparators(fileName); }

// A reason as a sentence ending in a full stop, with the words of the layer
// below (Qt's reader, the file system) kept in brackets.
QString Because(const QString& reason, const QString& detail)
{
    QString words = detail.trimmed();
    while (words.endsWith(QLatin1Char('.')))
        words.chop(1);
    return words.isEmpty() ? reason + QLatin1Char('.') : QStringLiteral("%1 (%2).").arg(reason, words);
}

QList<QRgb> GreyRamp()
{
    QList<QRgb> ramp(256);
    for (int i = 0; i < 256; ++i)
        ramp[i] = qRgb(i, i, i);
    return ramp;
}

// Windows keeps these names, with any extension, for devices: "CON.png" is
// the console and "aux.bmp" a serial port, never files.
[[maybe_unused]] bool IsDeviceName(const QString& fileName)
{
    const QString name = QFileInfo(fileName).fileName();
    const QString base = name.left(name.indexOf(QLatin1Char('.'))).trimmed().toUpper();
    if (base == QLatin1String("CON") || base == QLatin1String("PRN") || base == QLatin1String("AUX") ||
        base == QLatin1String("NUL") || base == QLatin1String("CONIN$") || base == QLatin1String("CONOUT$"))
        return true;
    return base.size() == 4 && (base.startsWith(QLatin1String("COM")) || base.startsWith(QLatin1String("LPT"))) &&
           base[3] >= QLatin1Char('1') && base[3] <= QLatin1Char('9');
}

// A name the system keeps for a device, as the reason to refuse it.
QString DeviceNameReason([[maybe_unused]] const QString& fileName)
{
#ifdef Q_OS_WIN
    if (IsDeviceName(fileName))
        return QStringLiteral("the name \"%1\" belongs to a device on Windows; choose another name.")
            .arg(QFileInfo(fileName).fileName());
#endif
    return {};
}

QImage Indexed8WithGreyRamp(int width, int height)
{
    QImage out(width, height, QImage::Format_Indexed8);
    if (out.isNull())
        return out;
    out.setColorTable(GreyRamp());
    return out;
}

// Pads an 8-bit image's palette to 256 opaque-black entries, so that every
// byte value a byte operation can produce names a real colour.
void PadPalette(QImage& image)
{
    QList<QRgb> table = image.colorTable();
    if (table.size() == 256)
        return;
    table.resize(256, qRgb(0, 0, 0));
    image.setColorTable(table);
}

// The grey levels of an all-grey 32-bit image as bytes under the grey ramp;
// a null image (and *grey false) as soon as one pixel is not grey. Each row
// is checked and converted in one pass, so that the picture is read from
// memory once.
QImage GreyTo8bit(const QImage& image, bool* grey)
{
    *grey = true;
    QImage out = NewIndexed8(image.width(), image.height());
    if (out.isNull())
        return out;
    out.setColorTable(GreyRamp());
    const int w = image.width();
    const auto greyRow = kernels::GreyRow;
    for (int y = 0; y < image.height(); ++y) {
        const auto* src = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
        if (!greyRow(src, out.scanLine(y), w)) {
            *grey = false;
            return {};
        }
    }
    return out;
}

// Why writing the file failed. A write the disk cut short (a full disk, a
// file-size limit) leaves the file with no text of its own, only Qt's
// "Unknown error"; name what happened instead.
QString WriteFailure(const QFileDevice& file)
{
    const QString text = file.errorString();
    if (!text.isEmpty() && text != QFile().errorString())
        return Because(QStringLiteral("the file could not be written"), text);
    if (file.error() == QFileDevice::ResourceError)
        return QStringLiteral("there is no room left on the disk.");
    return QStringLiteral("the file could not be written completely (the disk may be full, or the file larger "
                          "than this system allows).");
}

std::uint32_t SlotOf(QRgb colour) { return (colour * 2654435761u) >> 22; } // 10 bits

} // namespace

// ---------------------------------------------------------------------------
// TCanvas

TColor TCanvas::Pixels(int x, int y) const
{
    const QImage& image = bitmap_.image_;
    if (unsigned(x) >= unsigned(image.width()) || unsigned(y) >= unsigned(image.height()))
        return clNone;
    const std::uint8_t* line = image.constScanLine(y);
    if (image.format() == QImage::Format_Indexed8)
        return ColorFromRgb(bitmap_.palette_[line[x]]);
    return ColorFromRgb(reinterpret_cast<const QRgb*>(line)[x]);
}

void TCanvas::SetPixels(int x, int y, TColor color)
{
    QImage& image = bitmap_.image_;
    if (unsigned(x) >= unsigned(image.width()) || unsigned(y) >= unsigned(image.height()))
        return;
    const QRgb rgb = RgbFromColor(color);
    std::uint8_t* line = bitmap_.ScanLine(y);
    if (image.format() == QImage::Format_Indexed8)
        line[x] = std::uint8_t(bitmap_.PaletteIndex(rgb));
    else
        reinterpret_cast<QRgb*>(line)[x] = rgb;
}

// ---------------------------------------------------------------------------
// TBitmap

TBitmap::TBitmap() : canvas_(*this) {}

TPixelFormat TBitmap::PixelFormat() const
{
    if (image_.isNull())
        return pfDevice;
    return image_.format() == QImage::Format_Indexed8 ? pf8bit : pf32bit;
}

void TBitmap::SetPixelFormat(TPixelFormat format)
{
    if (image_.isNull() || format == pfDevice || format == PixelFormat())
        return;
    QImage converted;
    if (format == pf8bit) {
        bool grey = false;
        converted = GreyTo8bit(image_, &grey);
        if (!grey)
            converted = QuantizedTo8bit(image_);
    } else {
        converted = image_.convertToFormat(image_.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    }
    // Qt returns a null image when the new pixels do not fit in memory; the
    // picture must then stay as it was.
    if (converted.isNull())
        throw Exception(QStringLiteral("There is not enough memory to convert a picture of %1 × %2 pixels.")
                            .arg(Width())
                            .arg(Height()));
    SetImage(converted);
}

std::uint8_t* TBitmap::ScanLine(int y)
{
    Q_ASSERT(unsigned(y) < unsigned(Height()));
    Detach();
    return image_.scanLine(y);
}

void TBitmap::Detach()
{
    if (!image_.isDetached()) {
        // The pixels are still shared with a copy (Assign): take our own
        // before the first write. QImage would turn itself null if that copy
        // failed; here the picture stays as it was and the command ends.
        QImage own = image_.copy();
        if (own.isNull())
            throw Exception(QStringLiteral("There is not enough memory to change a picture of %1 × %2 pixels.")
                                .arg(Width())
                                .arg(Height()));
        image_ = std::move(own);
    }
}

void TBitmap::SetPalette(const QRgb (&palette)[256])
{
    if (image_.format() != QImage::Format_Indexed8)
        return;
    Detach();
    image_.setColorTable(QList<QRgb>(palette, palette + 256));
    ReadPalette();
    Changed();
}

const std::uint8_t* TBitmap::ScanLine(int y) const
{
    Q_ASSERT(unsigned(y) < unsigned(Height()));
    return image_.constScanLine(y);
}

void TBitmap::Assign(const TBitmap& source)
{
    if (&source == this)
        return;
    image_ = source.image_;
    std::memcpy(palette_, source.palette_, sizeof palette_);
    greyRamp_ = source.greyRamp_;
    std::memcpy(slotColour_, source.slotColour_, sizeof slotColour_);
    std::memcpy(slotIndex_, source.slotIndex_, sizeof slotIndex_);
    Changed();
}

void TBitmap::SetImage(const QImage& image)
{
    QImage normalized = Normalized(image);
    if (normalized.isNull() && !image.isNull())
        throw Exception(QStringLiteral("There is not enough memory for a picture of %1 × %2 pixels.")
                            .arg(image.width())
                            .arg(image.height()));
    image_ = std::move(normalized);
    ReadPalette();
    Changed();
}

QImage TBitmap::Normalized(QImage image)
{
    if (image.isNull())
        return {};
    QImage out;
    switch (image.format()) {
    case QImage::Format_Indexed8:
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
        out = image;
        break;
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        out = image.convertToFormat(QImage::Format_Indexed8);
        break;
    case QImage::Format_Grayscale8:
        if (image.isDetached()) {
            // The grey bytes are already what the grey ramp shows: take
            // them over rather than copy them.
            image.reinterpretAsFormat(QImage::Format_Indexed8);
            image.setColorTable(GreyRamp());
            out = std::move(image);
            break;
        }
        [[fallthrough]];
    case QImage::Format_Grayscale16: {
        const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
        out = Indexed8WithGreyRamp(image.width(), image.height());
        if (grey.isNull() || out.isNull())
            return {};
        for (int y = 0; y < image.height(); ++y)
            std::memcpy(out.scanLine(y), grey.constScanLine(y), size_t(image.width()));
        break;
    }
    default:
        out = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        break;
    }
    if (out.format() == QImage::Format_Indexed8)
        PadPalette(out);
    return out;
}

void TBitmap::Changed()
{
    if (OnChange)
        OnChange();
}

void TBitmap::ReadPalette()
{
    std::memset(palette_, 0, sizeof palette_);
    std::memset(slotIndex_, -1, sizeof slotIndex_);
    greyRamp_ = false;
    if (image_.format() != QImage::Format_Indexed8)
        return;
    const QList<QRgb> table = image_.colorTable();
    greyRamp_ = table.size() == 256;
    for (int i = 0; i < 256 && i < table.size(); ++i) {
        palette_[i] = table[i];
        greyRamp_ = greyRamp_ && table[i] == qRgb(i, i, i);
        const QRgb key = table[i] & 0xFFFFFF;
        std::uint32_t slot = SlotOf(key);
        while (slotIndex_[slot] >= 0 && slotColour_[slot] != key)
            slot = (slot + 1) % kSlots;
        if (slotIndex_[slot] < 0) { // keep the first index of a repeated colour
            slotColour_[slot] = key;
            slotIndex_[slot] = std::int16_t(i);
        }
    }
}

int TBitmap::PaletteIndex(QRgb rgb) const
{
    const QRgb key = rgb & 0xFFFFFF;
    for (std::uint32_t slot = SlotOf(key); slotIndex_[slot] >= 0; slot = (slot + 1) % kSlots)
        if (slotColour_[slot] == key)
            return slotIndex_[slot];
    // Not in the palette: the nearest entry by squared distance.
    int best = 0;
    int bestDistance = 1 << 30;
    for (int i = 0; i < 256; ++i) {
        const int dr = qRed(palette_[i]) - qRed(rgb);
        const int dg = qGreen(palette_[i]) - qGreen(rgb);
        const int db = qBlue(palette_[i]) - qBlue(rgb);
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

// ---------------------------------------------------------------------------
// TPicture

TPicture::TPicture()
{
    bitmap_.OnChange = [this] {
        if (OnChange)
            OnChange();
    };
}

void TPicture::LoadFromFile(const QString& fileName)
{
    const auto fail = [&](const QString& reason) {
        return Exception(QStringLiteral("Cannot open \"%1\": %2").arg(Shown(fileName), reason));
    };
    if (QFileInfo(fileName).isDir())
        throw fail(QStringLiteral("it is a folder, not a picture file."));
    if (const QString device = DeviceNameReason(fileName); !device.isEmpty())
        throw fail(device);

    {
        // Qt's reader says only "Unable to read image data" for a file it
        // cannot open; the file's own error names the cause.
        QFile file(fileName);
        if (!file.open(QIODevice::ReadOnly))
            throw fail(Because(QStringLiteral("the file cannot be read"), file.errorString()));
    }
    QImageReader reader(fileName);
    reader.setAllocationLimit(int(kMaxDecodedBytes >> 20)); // in MiB
    const QSize declared = reader.size();
    if (declared.isValid() && qint64(declared.width()) * declared.height() * 4 > kMaxDecodedBytes)
        throw fail(QStringLiteral("the picture is too large (%1 × %2 pixels; at most 1 GiB decoded).")
                       .arg(declared.width())
                       .arg(declared.height()));

    QImage image;
    if (!reader.read(&image) || image.isNull())
        throw fail(Because(QStringLiteral("the file is damaged or is not a picture this program can read"),
                           reader.errorString()));
    const int width = image.width();
    const int height = image.height();
    const QImage normalized = TBitmap::Normalized(std::move(image));
    if (normalized.isNull())
        throw fail(QStringLiteral("there is not enough memory for a picture of %1 × %2 pixels.")
                       .arg(width)
                       .arg(height));
    bitmap_.SetImage(normalized);
}

void TPicture::SaveToFile(const QString& fileName) const
{
    if (bitmap_.Empty())
        throw Exception(QStringLiteral("There is no picture to save."));
    const auto fail = [&](const QString& reason) {
        return Exception(QStringLiteral("Cannot save \"%1\": %2").arg(Shown(fileName), reason));
    };
    if (const QString device = DeviceNameReason(fileName); !device.isEmpty())
        throw fail(device);
    const QByteArray kind = QFileInfo(fileName).suffix().toLower().toLatin1();
    if (kind.isEmpty())
        throw fail(QStringLiteral("the name has no extension, so the picture kind is unknown."));
    if (!QImageWriter::supportedImageFormats().contains(kind))
        throw fail(QStringLiteral("\".%1\" is not a picture kind that can be written.").arg(QString::fromLatin1(kind)));

    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        throw fail(Because(QStringLiteral("the file cannot be written"), file.errorString()));
    QImageWriter writer(&file, kind);
    if (!writer.write(bitmap_.Image())) {
        // A write the disk refused (full, over a size limit) reaches the
        // writer only as "Unknown error"; the file knows the real reason.
        QString reason = file.error() != QFileDevice::NoError
                             ? WriteFailure(file)
                             : Because(QStringLiteral("the picture could not be written"), writer.errorString());
        if (file.error() == QFileDevice::NoError && writer.error() == QImageWriter::UnknownError)
            reason = QStringLiteral("the %1 writer could not write the picture.").arg(QString::fromLatin1(kind));
        file.cancelWriting();
        throw fail(reason);
    }
    if (!file.commit())
        throw fail(WriteFailure(file));
}
