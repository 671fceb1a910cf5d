// Saving where it cannot succeed, through the window's save dialog: the
// fixture the write-fault tests share (window_write_faults*.cpp). Each attempt
// shows one message naming the file and the reason, the picture stays in the
// window, and a file that was already at that name is byte-identical.
#pragma once

#include "support/TestPictures.h"
#include "support/WindowFixture.h"

#include <QDir>
#include <QFile>

#include <cstdio>

namespace writefaults {

inline const QByteArray kOld = "the picture file that was here before, which must survive\n";

class WriteFaults : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        if (HasFatalFailure())
            return;
        OpenPicture(testpictures::RandomColour(200, 150, 21, false));
        ASSERT_TRUE(messages.isEmpty());
        picture = testpictures::Bytes(*Bitmap());
    }

    // Saves to path, which holds kOld unless it could not be made, and checks
    // the message, the picture and the old file.
    void ExpectRefused(const QString& path, bool oldFileThere = true)
    {
        messages.clear();
        Save(path);
        ASSERT_EQ(messages.size(), 1) << "saving to " << path.toStdString() << " raised no message";
        std::printf("%s\n", qPrintable(messages.front()));
        const QString named = QStringLiteral("\"%1\"").arg(QDir::toNativeSeparators(path));
        EXPECT_TRUE(messages.front().contains(named)) << messages.front().toStdString();
        const QString reason = messages.front().mid(messages.front().indexOf(named) + named.size());
        EXPECT_GE(reason.trimmed().size(), 8) << "no reason: " << messages.front().toStdString();
        EXPECT_FALSE(reason.contains(QStringLiteral("Unknown error"))) << messages.front().toStdString();
        if (oldFileThere) {
            EXPECT_EQ(testpictures::FileBytes(path), kOld) << path.toStdString();
        }
        EXPECT_EQ(testpictures::Bytes(*Bitmap()), picture);
        EXPECT_TRUE(Image()->AutoSize()) << "the view stays as the open left it";
    }

    QByteArray picture;
};

} // namespace writefaults
