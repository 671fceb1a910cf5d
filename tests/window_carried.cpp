// What a picture carries beside its pixels, through the real window: opened,
// changed by each command, saved again, and read back with Qt's own reader;
// what cannot be kept said in the status bar.
#include "support/TestPictures.h"
#include "support/WindowFixture.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QImageWriter>
#include <QLabel>
#include <QRegularExpression>

using namespace testpictures;

TEST_F(WindowTest, CommandsKeepProfileResolutionAndTextInTheirOrder)
{
    const QByteArray profile = QColorSpace(QColorSpace::AdobeRgb).iccProfile();
    QImage source = RandomColour(20, 12, 9, false);
    source.setColorSpace(QColorSpace::fromIccProfile(profile));
    source.setDotsPerMeterX(11811);
    source.setDotsPerMeterY(7874);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(QImageWriter(&buffer, "png").write(source));
    QByteArray original = PngWith(buffer.data(), PngChunk("tEXt", Raw("Software\0scanner 2.1")));
    original = PngWith(original, PngChunk("iTXt", Raw("Caption\0\0\0\0\0") + QStringLiteral("Straße ✓").toUtf8()), true);
    original = PngWith(original, PngChunk("tEXt", Raw("Author\0Ann")), true);
    const QString in = dir.filePath(QStringLiteral("scan.png"));
    ASSERT_TRUE(WriteFile(in, original));

    // None, then each command that changes the pixels.
    const char* commands[] = {nullptr, "Complement1", "EdgeDetection1", "FlipRotate1", "Thresholding1"};
    for (const char* command : commands) {
        SCOPED_TRACE(command ? command : "opened and saved");
        Open(in);
        ASSERT_TRUE(messages.isEmpty()) << messages.join(QLatin1Char('\n')).toStdString();
        if (command)
            Trigger(command);
        const QString out = dir.filePath(QStringLiteral("saved.png"));
        Save(out);
        ASSERT_TRUE(messages.isEmpty()) << messages.join(QLatin1Char('\n')).toStdString();
        const QImage saved = QImageReader(out, "png").read();
        ASSERT_FALSE(saved.isNull());
        EXPECT_EQ(saved.colorSpace().iccProfile(), profile);
        EXPECT_EQ(saved.dotsPerMeterX(), 11811);
        EXPECT_EQ(saved.dotsPerMeterY(), 7874);
        EXPECT_EQ(saved.text(QStringLiteral("Caption")), QStringLiteral("Straße ✓"));
        const QStringList chunks = PngChunkList(FileBytes(out));
        const QStringList text = chunks.filter(QRegularExpression(QStringLiteral("^(tEXt|iTXt|zTXt) ")));
        EXPECT_EQ(text, (QStringList{QStringLiteral("tEXt Software"), QStringLiteral("iTXt Caption"),
                                     QStringLiteral("tEXt Author")}));
    }
}

TEST_F(WindowTest, WhatCannotBeKeptIsSaidInTheStatusBar)
{
    QImage deep(6, 4, QImage::Format_RGBA64);
    deep.fill(QColor::fromRgba64(0x1111, 0x2222, 0x3333, 0xFFFF));
    const QString path = dir.filePath(QStringLiteral("deep.png"));
    ASSERT_TRUE(QImageWriter(path).write(deep));
    Open(path);
    ASSERT_TRUE(messages.isEmpty()) << messages.join(QLatin1Char('\n')).toStdString();
    const auto* panel = form->findChild<QLabel*>(QStringLiteral("NoticePanel"));
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->text(), QStringLiteral("\"deep.png\" has 16 bits per channel; imagebench works at 8 and saves 8."));
    EXPECT_TRUE(panel->isVisibleTo(form.get()));
    // A file kept whole clears it.
    OpenPicture(RandomGrey(5, 5, 1));
    EXPECT_TRUE(panel->text().isEmpty());
}
