// Saving and opening where Windows refuses what Linux allows: a file with the
// read-only attribute, a file another program holds open without sharing,
// names Windows reserves for devices (CON, AUX), a name with '?', and a path
// longer than the classic 260-character limit. Each refusal is one message
// naming the file and the reason; the picture in the window and any file
// already there stay as they were.
//
// <windows.h> comes first on purpose: the picture layer must compile after it
// (it defines RGB and GetRValue as macros).
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include "support/TestPictures.h"
#include "support/WriteFaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace testpictures;
using writefaults::kOld;
using writefaults::WriteFaults;

namespace {

std::wstring Native(const QString& path) { return QDir::toNativeSeparators(path).toStdWString(); }

// The file opened by "another program": no sharing, so no one else may read,
// write, rename or delete it until the handle closes.
class HeldOpen {
public:
    explicit HeldOpen(const QString& path)
        : handle_(CreateFileW(Native(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr))
    {
    }
    ~HeldOpen() { Close(); }
    HeldOpen(const HeldOpen&) = delete;
    HeldOpen& operator=(const HeldOpen&) = delete;
    bool Held() const { return handle_ != INVALID_HANDLE_VALUE; }
    void Close()
    {
        if (Held())
            CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE handle_;
};

QStringList Files(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

} // namespace

TEST_F(WriteFaults, AFileWithTheReadOnlyAttributeIsRefused)
{
    const QString path = dir.filePath(QStringLiteral("old.png"));
    ASSERT_TRUE(WriteFile(path, kOld));
    ASSERT_TRUE(SetFileAttributesW(Native(path).c_str(), FILE_ATTRIBUTE_READONLY));
    ExpectRefused(path);
    // One sentence with the reason: the file is named once, not again in
    // the words of the layer below.
    EXPECT_EQ(messages.front().count(QStringLiteral("old.png")), 1) << messages.front().toStdString();
    EXPECT_NE(GetFileAttributesW(Native(path).c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(Files(dir.path()), QStringList({QStringLiteral("old.png"), QStringLiteral("open.png")}));
    SetFileAttributesW(Native(path).c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(WriteFaults, AFileHeldOpenWithoutSharingIsRefusedBothWays)
{
    const QString path = dir.filePath(QStringLiteral("held.png"));
    ASSERT_TRUE(WriteFile(path, kOld));
    HeldOpen other(path);
    ASSERT_TRUE(other.Held()) << GetLastError();
    ExpectRefused(path, false); // its bytes can be read only once the other program lets go
    messages.clear();
    Open(path);
    ASSERT_EQ(messages.size(), 1) << "opening a file held without sharing raised no message";
    EXPECT_TRUE(messages.front().contains(QStringLiteral("\"%1\"").arg(QDir::toNativeSeparators(path))))
        << messages.front().toStdString();
    EXPECT_EQ(Bytes(*Bitmap()), picture);
    other.Close();
    EXPECT_EQ(FileBytes(path), kOld);
    EXPECT_EQ(Files(dir.path()), QStringList({QStringLiteral("held.png"), QStringLiteral("open.png")}));
}

TEST_F(WriteFaults, ReservedDeviceNamesAndAQuestionMarkAreRefusedBothWays)
{
    for (const char* name : {"CON.png", "aux.bmp", "what?.png"}) {
        SCOPED_TRACE(name);
        const QString path = dir.filePath(QString::fromLatin1(name));
        ExpectRefused(path, false);
        messages.clear();
        Open(path);
        ASSERT_EQ(messages.size(), 1) << "opening " << name << " raised no message";
        EXPECT_TRUE(messages.front().contains(QStringLiteral("\"%1\"").arg(QDir::toNativeSeparators(path))))
            << messages.front().toStdString();
        EXPECT_EQ(Bytes(*Bitmap()), picture);
    }
    EXPECT_EQ(Files(dir.path()), QStringList{QStringLiteral("open.png")});
}

// Qt reaches paths beyond 260 characters (it passes them to Windows in the
// long form), so a picture saved there must come back whole, and a failure
// there must be a message, never a damaged file.
TEST_F(WriteFaults, APathLongerThan260CharactersSavesAndOpensWhole)
{
    QString folder = dir.path();
    while (folder.size() < 300)
        folder += QStringLiteral("/a folder with a long name to pass the limit");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/old.bmp");
    ASSERT_GT(QDir::toNativeSeparators(path).size(), 260);
    ASSERT_TRUE(WriteFile(path, kOld));
    messages.clear();
    Save(path);
    ASSERT_TRUE(messages.isEmpty()) << messages.front().toStdString();
    EXPECT_NE(FileBytes(path), kOld);
    Trigger("Complement1");
    ASSERT_TRUE(messages.isEmpty()) << messages.front().toStdString();
    ASSERT_NE(Bytes(*Bitmap()), picture);
    Open(path);
    ASSERT_TRUE(messages.isEmpty()) << messages.front().toStdString();
    EXPECT_EQ(Bytes(*Bitmap()), picture);
    EXPECT_EQ(Files(folder), QStringList{QStringLiteral("old.bmp")});
}
