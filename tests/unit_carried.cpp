// What pictures carry beside their pixels (colour profile, resolution, text,
// orientation) through an open and a save, read back with Qt's own readers
// as the independent reference; and damaged ancillary PNG chunks, which are
// passed over while the picture opens.
#include "image/files/PictureFiles.h"
#include "image/files/png/PngReader.h"
#include "support/TestPictures.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QtEndian>

using namespace testpictures;

namespace {

constexpr int kDotsPerMeter = 11811; // 300 dpi

bool HoldsProfile(const QString& kind) { return kind != QLatin1String("bmp"); }
bool HoldsResolution(const QString& kind) { return kind != QLatin1String("webp"); }

QByteArray Profile() { return QColorSpace(QColorSpace::DisplayP3).iccProfile(); }


// The picture every file of the table starts from, with a profile and a
// resolution Qt's writers store.
QImage Source()
{
    QImage image = RandomColour(24, 16, 7, false);
    image.setColorSpace(QColorSpace::fromIccProfile(Profile()));
    image.setDotsPerMeterX(kDotsPerMeter);
    image.setDotsPerMeterY(kDotsPerMeter);
    return image;
}

// The same picture as another program writes it; PNG files get three text
// chunks of the three kinds, in an order that is not the keys' sorted one.
QByteArray Original(const QString& kind, bool rotated)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, kind.toLatin1());
    if (rotated)
        writer.setTransformation(QImageIOHandler::TransformationRotate90);
    if (!writer.write(Source()))
        return {};
    QByteArray bytes = buffer.data();
    if (kind == QLatin1String("png")) {
        bytes = PngWith(bytes, PngChunk("tEXt", Raw("Title\0Zebra crossing")));
        bytes = PngWith(bytes, PngChunk("zTXt", Raw("Author\0\0") + Zlib(QByteArray(3000, 'a'))), true);
        bytes = PngWith(bytes, PngChunk("iTXt", Raw("Comment\0\0\0\0\0") + QStringLiteral("über ✓").toUtf8()), true);
    }
    return bytes;
}

QStringList TextChunks(const QByteArray& png)
{
    QStringList text;
    for (const QString& entry : PngChunkList(png))
        if (entry.size() > 4 && entry[4] == QLatin1Char(' '))
            text << entry.mid(5);
    return text;
}

// The first step of a JPEG's first quantisation table (luminance): 8 at the
// IJG quality 75, 3 at 90.
int FirstLuminanceStep(const QByteArray& jpeg)
{
    const qsizetype dqt = jpeg.indexOf("\xFF\xDB");
    return dqt < 0 || dqt + 5 >= jpeg.size() ? -1 : quint8(jpeg[dqt + 5]);
}

} // namespace

TEST(Carried, EachKindKeepsWhatItCanHoldThroughAnOpenAndASave)
{
    const struct {
        const char* from;
        const char* to;
        bool rotated; // the file from a camera that records its orientation
    } table[] = {
        {"png", "png", false},  {"png", "jpg", false}, {"png", "tif", false}, {"png", "webp", false},
        {"png", "bmp", false},  {"jpg", "jpg", false}, {"tif", "png", false}, {"webp", "png", false},
        {"jpg", "png", true},   {"jpg", "jpg", true},  {"tif", "tif", true},
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const auto& row : table) {
        const QString from = QString::fromLatin1(row.from), to = QString::fromLatin1(row.to);
        SCOPED_TRACE(std::string(row.from) + " -> " + row.to + (row.rotated ? " (rotated)" : ""));
        const QString in = dir.filePath(QStringLiteral("in.") + from), out = dir.filePath(QStringLiteral("out.") + to);
        const QByteArray original = Original(from, row.rotated);
        ASSERT_TRUE(WriteFile(in, original));

        TPicture picture;
        ASSERT_NO_THROW(picture.LoadFromFile(in));
        // Upright as every viewer shows it: the tag turned a quarter right.
        const QSize upright = row.rotated ? QSize(16, 24) : QSize(24, 16);
        EXPECT_EQ(picture.Bitmap()->Image().size(), upright);
        if (row.rotated && from == QLatin1String("tif")) {
            const QImage turned = RandomColour(24, 16, 7, false).transformed(QTransform().rotate(90));
            EXPECT_EQ(Bytes(*picture.Bitmap()), Bytes(turned));
        }
        ASSERT_NO_THROW(picture.SaveToFile(out));
        EXPECT_TRUE(picture.Notices().isEmpty()) << picture.Notices().join(QLatin1Char(' ')).toStdString();

        QImageReader reader(out, to.toLatin1());
        reader.setAutoTransform(false);
        const QImage saved = reader.read();
        ASSERT_FALSE(saved.isNull()) << reader.errorString().toStdString();
        // Saved upright, without a tag that would turn it again.
        EXPECT_EQ(saved.size(), upright);
        EXPECT_EQ(reader.transformation(), QImageIOHandler::TransformationNone);
        // What the original holds, as Qt reads it (its JPEG writer, say,
        // leaves the profile out of a file with an orientation tag).
        const QImage first = QImageReader(in, from.toLatin1()).read();
        if (first.colorSpace().iccProfile() == Profile() && HoldsProfile(to)) {
            EXPECT_EQ(saved.colorSpace().iccProfile(), Profile());
        }
        if (first.dotsPerMeterX() == kDotsPerMeter && HoldsResolution(to)) {
            EXPECT_EQ(saved.dotsPerMeterX(), kDotsPerMeter);
            EXPECT_EQ(saved.dotsPerMeterY(), kDotsPerMeter);
        }
        if (from == QLatin1String("png") && to == QLatin1String("png")) {
            EXPECT_EQ(saved.text(QStringLiteral("Title")), QStringLiteral("Zebra crossing"));
            EXPECT_EQ(saved.text(QStringLiteral("Author")), QString(3000, QLatin1Char('a')));
            EXPECT_EQ(saved.text(QStringLiteral("Comment")), QStringLiteral("über ✓"));
            EXPECT_EQ(TextChunks(FileBytes(out)), TextChunks(original));
            EXPECT_EQ(Bytes(saved.convertToFormat(QImage::Format_RGB32)), Bytes(RandomColour(24, 16, 7, false)));
        }
        if (to == QLatin1String("jpg")) {
            EXPECT_EQ(FirstLuminanceStep(FileBytes(out)), 3);
        }
    }
}

TEST(Carried, DamagedAncillaryChunksArePassedOverAndThePictureOpens)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(QImageWriter(&buffer, "png").write(RandomColour(24, 16, 3, false)));
    const QByteArray clean = buffer.data();
    const QImage fresh(1, 1, QImage::Format_RGB32);
    // A good text chunk after the damaged one: reading goes on past it.
    const QByteArray kept = PngChunk("tEXt", Raw("Kept\0yes"));
    for (const DamagedChunk& damaged : DamagedAncillaryChunks()) {
        SCOPED_TRACE(damaged.what);
        const QString path = dir.filePath(QStringLiteral("damaged.png"));
        ASSERT_TRUE(WriteFile(path, PngWith(PngWith(clean, damaged.chunk, damaged.afterImage), kept)));

        const TPngRead png = ReadPng(path, TPicture::kMaxDecodedBytes);
        ASSERT_EQ(png.outcome, TPngRead::Read) << png.reason.toStdString();
        EXPECT_EQ(Bytes(png.image), Bytes(RandomColour(24, 16, 3, false)));
        EXPECT_FALSE(png.image.colorSpace().isValid());
        EXPECT_EQ(png.image.dotsPerMeterX(), fresh.dotsPerMeterX());
        EXPECT_EQ(png.image.textKeys(), QStringList{QStringLiteral("Kept")});
        EXPECT_EQ(png.textOrder, QStringList{QStringLiteral("Kept")});
    }
}

TEST(Carried, WhatTheWorkbenchCannotKeepIsSaidOnce)
{
    QImage deep(8, 6, QImage::Format_Grayscale16);
    deep.fill(QColor(0x1234, 0x1234, 0x1234));
    const QImage seeThrough = RandomColour(8, 6, 5, true);
    QImage opaqueAlpha = RandomColour(8, 6, 5, false).convertToFormat(QImage::Format_ARGB32);
    const struct {
        const char* what;
        QImage picture;
        const char* kind;
        bool saving; // otherwise opening a file Qt wrote
        const char* says; // nullptr: nothing to say
    } table[] = {
        {"a 16-bit grey PNG opened", deep, "png", false, "\"file.png\" has 16 bits per channel; imagebench works "
                                                          "at 8 and saves 8."},
        {"an 8-bit PNG opened", RandomGrey(8, 6, 2), "png", false, nullptr},
        {"see-through pixels saved as JPEG", seeThrough, "jpg", true, "JPG files cannot hold see-through pixels"},
        {"see-through pixels saved as BMP", seeThrough, "bmp", true, "BMP files cannot hold see-through pixels"},
        {"see-through pixels saved as PNG", seeThrough, "png", true, nullptr},
        {"see-through pixels saved as TIFF", seeThrough, "tif", true, nullptr},
        {"an alpha channel all opaque saved as JPEG", opaqueAlpha, "jpg", true, nullptr},
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const auto& row : table) {
        SCOPED_TRACE(row.what);
        const QString path = dir.filePath(QStringLiteral("file.") + QLatin1String(row.kind));
        TPicture picture;
        if (row.saving) {
            picture.Bitmap()->SetImage(row.picture);
            ASSERT_NO_THROW(picture.SaveToFile(path));
        } else {
            ASSERT_TRUE(QImageWriter(path).write(row.picture));
            ASSERT_NO_THROW(picture.LoadFromFile(path));
        }
        if (!row.says) {
            EXPECT_TRUE(picture.Notices().isEmpty()) << picture.Notices().join(QLatin1Char(' ')).toStdString();
            continue;
        }
        ASSERT_EQ(picture.Notices().size(), 1);
        EXPECT_TRUE(picture.Notices().front().contains(QLatin1String(row.says)))
            << picture.Notices().front().toStdString();
    }
}
