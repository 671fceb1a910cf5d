// Reading and writing picture files under a progress: the bytes are counted
// (rows, for PNG files, which our own reader and writer handle), and a
// cancelled read or write stops with TCancelled, the target untouched and no
// temporary file left.
#include "image/files/PictureFiles.h"
#include "image/work/Progress.h"
#include "support/TestPictures.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>

using namespace testpictures;

namespace {

const char* const kKinds[] = {"png", "bmp", "jpg", "tif", "ppm"};
// TIFF's writer goes back to fill in its header and its reader jumps around
// the file: each byte passes at least once, some more often.
bool Sequential(const char* kind) { return std::strcmp(kind, "tif") != 0; }

QStringList Files(const QTemporaryDir& dir) { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden); }

} // namespace

TEST(ProgressFiles, ReadAndWriteCountTheBytesOfTheFile)
{
    QTemporaryDir dir;
    const QImage picture = RandomColour(301, 97, 4, false);
    for (const char* kind : kKinds) {
        SCOPED_TRACE(kind);
        const QString path = dir.filePath(QStringLiteral("counted.") + QLatin1String(kind));
        TProgress written;
        WritePictureFile(picture, path, &written);
        const qint64 size = QFileInfo(path).size();
        ASSERT_GT(size, 0);
        TProgress read;
        if (std::strcmp(kind, "png") == 0) {
            EXPECT_EQ(written.Done(), picture.height());
            EXPECT_EQ(written.Total(), picture.height());
            EXPECT_EQ(ReadPictureFile(path, &read).size(), picture.size());
            EXPECT_EQ(read.Done(), picture.height());
            EXPECT_EQ(read.Total(), picture.height());
            continue;
        }
        if (Sequential(kind)) {
            EXPECT_EQ(written.Done(), size);
        } else {
            EXPECT_GE(written.Done(), size);
        }
        EXPECT_EQ(written.Total(), 0) << "the size of a file being written is not known";

        const QImage image = ReadPictureFile(path, &read);
        EXPECT_EQ(image.size(), picture.size());
        EXPECT_EQ(read.Total(), size);
        // A reader may stop before trailing bytes; a sequential one never
        // counts a byte twice.
        EXPECT_GT(read.Done(), size / 2);
        if (Sequential(kind)) {
            EXPECT_LE(read.Done(), size);
        }
    }
}

TEST(ProgressFiles, CancelledReadOrWriteChangesNothing)
{
    QTemporaryDir dir;
    const QImage picture = RandomGrey(64, 48, 8);
    const QImage older = RandomColour(20, 10, 9, false);
    for (const char* kind : kKinds)
        for (const bool exists : {false, true}) {
            SCOPED_TRACE(std::string(kind) + (exists ? " over a file" : " new"));
            const QString path = dir.filePath(QStringLiteral("target.") + QLatin1String(kind));
            QFile::remove(path);
            if (exists) {
                ASSERT_TRUE(older.save(path));
            }
            const QByteArray before = exists ? FileBytes(path) : QByteArray();
            const QStringList files = Files(dir);

            TProgress cancelled;
            cancelled.Cancel();
            EXPECT_THROW(WritePictureFile(picture, path, &cancelled), TCancelled);
            EXPECT_EQ(Files(dir), files) << "no temporary file, no new file";
            if (exists) {
                EXPECT_EQ(FileBytes(path), before);
                // Reading stops as well, and says so as a cancel, not as a
                // damaged file.
                EXPECT_THROW(ReadPictureFile(path, &cancelled), TCancelled);
                TPicture showing;
                showing.Bitmap()->SetImage(RandomGrey(5, 5, 1));
                const QByteArray shown = Bytes(*showing.Bitmap());
                EXPECT_THROW(showing.LoadFromFile(path, &cancelled), TCancelled);
                EXPECT_EQ(Bytes(*showing.Bitmap()), shown);
            }
        }
}
