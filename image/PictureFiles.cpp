#include "PictureFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>

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

} // namespace

// ---------------------------------------------------------------------------
// TPicture

TPicture::TPicture()
{
    bitmap_.OnChange = [this] {
        if (OnChange)
            OnChange();
    };
}

QString NoPictureToSave() { return QStringLiteral("There is no picture to save."); }

QImage ReadPictureFile(const QString& fileName)
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
    reader.setAllocationLimit(int(TPicture::kMaxDecodedBytes >> 20)); // in MiB
    const QSize declared = reader.size();
    if (declared.isValid() && qint64(declared.width()) * declared.height() * 4 > TPicture::kMaxDecodedBytes)
        throw fail(QStringLiteral("the picture is too large (%1 × %2 pixels; at most 1 GiB decoded).")
                       .arg(declared.width())
                       .arg(declared.height()));

    QImage image;
    if (!reader.read(&image) || image.isNull())
        throw fail(Because(QStringLiteral("the file is damaged or is not a picture this program can read"),
                           reader.errorString()));
    return image;
}

void TPicture::LoadFromFile(const QString& fileName)
{
    QImage image = ReadPictureFile(fileName);
    const int width = image.width();
    const int height = image.height();
    const QImage normalized = TBitmap::Normalized(std::move(image));
    if (normalized.isNull())
        throw Exception(
            QStringLiteral("Cannot open \"%1\": there is not enough memory for a picture of %2 × %3 pixels.")
                .arg(Shown(fileName))
                .arg(width)
                .arg(height));
    bitmap_.SetImage(normalized);
}

void TPicture::SaveToFile(const QString& fileName) const
{
    if (bitmap_.Empty())
        throw Exception(NoPictureToSave());
    WritePictureFile(bitmap_.Image(), fileName);
}

void WritePictureFile(const QImage& image, const QString& fileName)
{
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
    if (!writer.write(image)) {
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
