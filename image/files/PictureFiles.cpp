#include "image/files/PictureFiles.h"
#include "image/files/FileErrors.h"
#include "image/files/png/PngReader.h"
#include "image/files/png/PngWriter.h"
#include "image/work/Progress.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>

#include <exception>
#include <new>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

QString Shown(const QString& fileName) { return QDir::toNativeSeparators(fileName); }

// A text from the layer below with the file's path in it, the path shown with
// the system's own separators as everywhere else in the messages.
QString Native(QString text, const QString& fileName) { return text.replace(fileName, Shown(fileName)); }

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

// The picture file as the reader and writer see it, counting what passes
// through and failing every read or write once the work is cancelled, so that
// Qt's readers and writers stop at their next access to the file.
class TProgressFile : public QFile {
public:
    TProgressFile(const QString& fileName, TProgress* progress) : QFile(fileName), progress_(progress) {}

protected:
    qint64 readData(char* data, qint64 size) override
    {
        if (progress_ && progress_->Cancelled())
            return -1;
        const qint64 read = QFile::readData(data, size);
        if (read > 0)
            Advance(progress_, read);
        return read;
    }

private:
    TProgress* progress_;
};

class TProgressSaveFile : public QSaveFile {
public:
    TProgressSaveFile(const QString& fileName, TProgress* progress) : QSaveFile(fileName), progress_(progress) {}

protected:
    qint64 writeData(const char* data, qint64 size) override
    {
        if (progress_ && progress_->Cancelled())
            return -1;
        const qint64 written = QSaveFile::writeData(data, size);
        if (written > 0)
            Advance(progress_, written);
        refused_ = refused_ || written < size;
        return written;
    }

public:
    // Whether a write was refused or cut short. Qt's TIFF and WebP writers
    // report success after such a write: the file is checked instead.
    bool Refused() const { return refused_; }

private:
    TProgress* progress_;
    bool refused_ = false;
};

// Puts the written file in the target's place; false when that failed. The
// data goes to the disk first (the save file's commit would wait for that
// too), so that after the last look at Cancel only the rename remains: a
// Cancel before it leaves the target as it was, one after it is refused.
bool PutInPlace(QSaveFile& file, TProgress* progress)
{
    if (file.flush()) {
#ifdef Q_OS_WIN
        (void)_commit(file.handle());
#else
        (void)fsync(file.handle());
#endif
    }
    try {
        if (progress)
            progress->Commit();
    } catch (const TCancelled&) {
        file.cancelWriting();
        throw;
    }
    return file.commit();
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

QImage ReadPictureFile(const QString& fileName, TProgress* progress, TOpened* opened)
{
    const auto fail = [&](const QString& reason) {
        return Exception(QStringLiteral("Cannot open \"%1\": %2").arg(Shown(fileName), reason));
    };
    if (QFileInfo(fileName).isDir())
        throw fail(QStringLiteral("it is a folder, not a picture file."));
    if (const QString device = DeviceNameReason(fileName); !device.isEmpty())
        throw fail(device);

    // Qt's reader says only "Unable to read image data" for a file it cannot
    // open; the file's own error names the cause. The reader takes the file's
    // kind from its contents and, failing that, from the file's extension.
    TProgressFile file(fileName, progress);
    if (!file.open(QIODevice::ReadOnly))
        throw fail(Because(QStringLiteral("the file cannot be read"), Native(file.errorString(), fileName)));
    if (progress)
        progress->SetTotal(file.size());
    QImageReader reader(&file);
    reader.setAllocationLimit(int(TPicture::kMaxDecodedBytes >> 20)); // in MiB
    const QSize declared = reader.size();
    if (declared.isValid() && qint64(declared.width()) * declared.height() * 4 > TPicture::kMaxDecodedBytes)
        throw fail(QStringLiteral("the picture is too large (%1 × %2 pixels; at most 1 GiB decoded).")
                       .arg(declared.width())
                       .arg(declared.height()));

    if (reader.format() == "png") {
        TPngRead png;
        try {
            png = ReadPng(fileName, TPicture::kMaxDecodedBytes, progress);
        } catch (const std::bad_alloc&) {
            throw fail(NotEnoughMemory(u"for", declared.width(), declared.height()) + u'.');
        } catch (const std::exception& error) { // no thread to decode on, say
            throw fail(Because(QStringLiteral("the PNG reader failed"), QString::fromLocal8Bit(error.what())));
        }
        if (png.outcome == TPngRead::Read) {
            if (opened)
                opened->textOrder = png.textOrder;
            return png.image;
        }
        if (png.outcome == TPngRead::Failed && png.tooLarge.isValid())
            throw fail(QStringLiteral("the picture is too large (%1 × %2 pixels; at most 1 GiB decoded).")
                           .arg(png.tooLarge.width())
                           .arg(png.tooLarge.height()));
        if (png.outcome == TPngRead::Failed)
            throw fail(Because(QStringLiteral("the file is damaged or is not a picture this program can read"),
                               png.reason));
        // Kinds of PNG our reader leaves alone: Qt's reader below.
    }
    QImage image;
    reader.setAutoTransform(false); // turned below, keeping the colour space
    const bool read = reader.read(&image) && !image.isNull();
    CheckCancel(progress); // a cancelled read fails; that is no damage
    if (!read)
        throw fail(Because(QStringLiteral("the file is damaged or is not a picture this program can read"),
                           Native(reader.errorString(), fileName)));
    if (opened)
        opened->notices = OpenNotices(fileName, image, reader.imageCount());
    QImage upright = Upright(image, reader.transformation());
    if (upright.isNull())
        throw fail(NotEnoughMemory(u"for", image.width(), image.height()) + u'.');
    return upright;
}

void TPicture::LoadFromFile(const QString& fileName, TProgress* progress)
{
    TOpened opened;
    QImage image = ReadPictureFile(fileName, progress, &opened);
    const int width = image.width();
    const int height = image.height();
    const QImage normalized = TBitmap::Normalized(std::move(image));
    if (normalized.isNull())
        throw Exception(
            QStringLiteral("Cannot open \"%1\": %2.").arg(Shown(fileName), NotEnoughMemory(u"for", width, height)));
    CheckCancel(progress);
    bitmap_.SetImage(normalized);
    bitmap_.SetTextOrder(opened.textOrder);
    notices_ = opened.notices;
}

void TPicture::SaveToFile(const QString& fileName, TProgress* progress)
{
    if (bitmap_.Empty())
        throw Exception(NoPictureToSave());
    WritePictureFile(bitmap_.Image(), fileName, progress, bitmap_.TextOrder());
    notices_ = SaveNotices(fileName, bitmap_.Image(), QFileInfo(fileName).suffix().toLower().toLatin1());
}

void WritePictureFile(const QImage& image, const QString& fileName, TProgress* progress, const QStringList& textOrder)
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

    // A file that may not be changed is refused before anything is written.
    if (const QFileInfo target(fileName); target.exists() && !target.isWritable())
        throw fail(WriteFailureReason(fileName, nullptr));
    // The PNG writer counts rows itself; other kinds count the bytes written.
    TProgressSaveFile file(fileName, kind == "png" ? nullptr : progress);
    if (!file.open(QIODevice::WriteOnly))
        throw fail(WriteFailureReason(fileName, &file));
    if (kind == "png") {
        bool written = false;
        try {
            written = WritePng(file, image, progress, nullptr, textOrder);
        } catch (const std::bad_alloc&) {
            file.cancelWriting();
            throw fail(NotEnoughMemory(u"to write the picture") + u'.');
        } catch (const std::exception& error) {
            file.cancelWriting();
            throw fail(Because(QStringLiteral("the PNG writer failed"), QString::fromLocal8Bit(error.what())));
        } catch (...) { // cancelled: the temporary file goes, the target stays
            file.cancelWriting();
            throw;
        }
        if (!written) { // the file refused a write
            const QString reason = WriteFailureReason(fileName, &file);
            file.cancelWriting();
            throw fail(reason);
        }
        if (!PutInPlace(file, progress))
            throw fail(WriteFailureReason(fileName, &file));
        return;
    }
    QImageWriter writer(&file, kind);
    SetWriterOptions(writer, kind);
    const bool written = writer.write(image) && file.flush() && !file.Refused();
    if (progress && progress->Cancelled()) {
        // Cancelled while writing or just after: the temporary file goes and
        // the target stays as it was.
        file.cancelWriting();
        throw TCancelled{};
    }
    if (!written) {
        // A write the disk refused (full, over a size limit) reaches the
        // writer only as "Unknown error"; the file and the system know more.
        const QString reason = WriteFailureReason(fileName, &file, writer.errorString());
        file.cancelWriting();
        throw fail(reason);
    }
    if (!PutInPlace(file, progress))
        throw fail(WriteFailureReason(fileName, &file));
}
