// Saving where it cannot succeed on any system: no picture, a kind that
// cannot be written, a missing folder, a folder in place of the file. Each
// attempt shows one message naming the file and the reason, the picture stays
// in the window, and a file that was already at that name is byte-identical.
// The faults of one system live in window_write_faults_<system>.cpp.
#include "support/TestPictures.h"
#include "support/WriteFaults.h"

#include <QDir>
#include <QFile>

using namespace testpictures;
using writefaults::kOld;
using writefaults::WriteFaults;

TEST_F(WriteFaults, NoPictureLoadedLeavesTheFileAlone)
{
    form.reset();
    form = std::make_unique<TForm1>();
    Form1 = form.get();
    const QString path = dir.filePath(QStringLiteral("old.png"));
    ASSERT_TRUE(WriteFile(path, kOld));
    messages.clear();
    Save(path);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.front().contains(QStringLiteral("no picture"))) << messages.front().toStdString();
    EXPECT_EQ(FileBytes(path), kOld);
}

TEST_F(WriteFaults, UnknownOrMissingExtensionsAndMissingFoldersAreRefused)
{
    for (const char* name : {"old.xyz", "old", "old.", "old.gif", "old.txt"}) {
        SCOPED_TRACE(name);
        const QString path = dir.filePath(QString::fromLatin1(name));
        ASSERT_TRUE(WriteFile(path, kOld));
        ExpectRefused(path);
    }
    const QString missing = dir.filePath(QStringLiteral("no such folder/picture.png"));
    ExpectRefused(missing, false);
    EXPECT_FALSE(QFile::exists(missing));
    EXPECT_FALSE(QDir(dir.filePath(QStringLiteral("no such folder"))).exists());
    // A folder where the file should go.
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("taken.png")));
    ExpectRefused(dir.filePath(QStringLiteral("taken.png")), false);
    EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral("taken.png"))).isDir());
}
