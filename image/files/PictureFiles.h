// The picture a window shows, and the files it is read from and written to.
#pragma once

#include "image/bitmap/Bitmap.h"
#include "image/files/Metadata.h"
#include "image/work/Progress.h"

#include <QImage>
#include <QString>

#include <functional>

class TProgress;

// The message of a save asked for while there is no picture.
QString NoPictureToSave();

// The one place a file is read into an image: the file's own kind, decoded
// as it is (not yet brought into a bitmap layout). Throws Exception naming the
// file and the reason: a folder, a device name, a file that cannot be read,
// a picture declared larger than TPicture::kMaxDecodedBytes, a damaged file.
// With a progress, counts the bytes read against the file's size (PNG files
// of the common kinds, which our own reader reads, count rows instead) and
// throws TCancelled once it is cancelled. The picture comes upright (a
// camera's orientation tag applied) with its colour space, resolution and
// text; opened, when given, gets the text's order and what is not kept.
QImage ReadPictureFile(const QString& fileName, TProgress* progress = nullptr, TOpened* opened = nullptr);

// The one place an image is written to a file: in the kind the extension
// names, through a temporary file that replaces the target only once it is
// complete. Throws Exception naming the file and the reason; an existing file
// is then left untouched. With a progress, counts the rows our own PNG
// writer has compressed, or for other kinds the bytes written (the total is
// not known in advance), and throws TCancelled once it is cancelled, also then
// with the target untouched and no temporary file left. The kind's writer
// keeps what it can of the image's colour space, resolution and text (PNG
// all, the text keys of textOrder first); JPEG is written at quality 90.
void WritePictureFile(const QImage& image, const QString& fileName, TProgress* progress = nullptr,
                      const QStringList& textOrder = {});

// Holds the one bitmap a picture shows, loads it from and saves it to files.
class TPicture {
public:
    TPicture();
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;

    TBitmap* Bitmap() { return &bitmap_; }
    const TBitmap* Bitmap() const { return &bitmap_; }

    // Reads the file (ReadPictureFile) and replaces the picture only when that
    // succeeded; otherwise throws Exception naming the file and the reason,
    // and the picture stays as it was (also when progress is cancelled).
    void LoadFromFile(const QString& fileName, TProgress* progress = nullptr);
    // Writes the picture (WritePictureFile); throws Exception with
    // NoPictureToSave() when the bitmap is empty.
    void SaveToFile(const QString& fileName, TProgress* progress = nullptr);

    // What the last LoadFromFile or SaveToFile could not keep, in plain
    // words (OpenNotices, SaveNotices); empty when it kept everything.
    const QStringList& Notices() const { return notices_; }

    // Called whenever the picture's image was replaced or converted.
    std::function<void()> OnChange;

    // The largest decoded picture LoadFromFile accepts.
    static constexpr qint64 kMaxDecodedBytes = qint64(1) << 30;

private:
    TBitmap bitmap_;
    QStringList notices_;
};
