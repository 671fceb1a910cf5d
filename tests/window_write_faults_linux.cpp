// Saving where Linux refuses it: a folder without write permission (checked
// as an unprivileged user), a read-only and a full file system, a file-size
// limit. Each gives one message naming the file and the reason, and an
// existing file stays byte-identical.
//
// A name on /dev/full is not used: the picture is written to a temporary file
// beside the target and renamed over it, so the device node itself would be
// replaced. A small tmpfs (where the tests may mount one) and a file-size limit
// give the same "no room" failures safely.
#include "support/HostileInputs.h"
#include "support/TestPictures.h"
#include "support/WriteFaults.h"

#include "image/files/png/PngWriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>

#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <optional>

using namespace testpictures;
using writefaults::kOld;
using writefaults::WriteFaults;

namespace {

// A tmpfs of the given size on a fresh folder, unmounted when it goes.
class SmallDisk {
public:
    SmallDisk(const QString& where, const char* options) : path_(where)
    {
        QDir().mkpath(path_);
        if (::mount("tmpfs", QFile::encodeName(path_).constData(), "tmpfs", 0, options) == 0)
            mounted_ = true;
        else
            why_ = QStringLiteral("cannot mount a tmpfs here: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    }
    ~SmallDisk()
    {
        if (mounted_)
            ::umount2(QFile::encodeName(path_).constData(), MNT_DETACH);
    }
    bool MakeReadOnly()
    {
        return ::mount("tmpfs", QFile::encodeName(path_).constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }
    bool Mounted() const { return mounted_; }
    QString Why() const { return why_; }
    QString FilePath(const char* name) const { return QDir(path_).filePath(QString::fromLatin1(name)); }
    QStringList Files() const { return QDir(path_).entryList(QDir::Files | QDir::Hidden | QDir::System); }

private:
    QString path_;
    bool mounted_ = false;
    QString why_;
};

} // namespace

TEST_F(WriteFaults, AFolderWithoutWritePermissionIsRefused)
{
    const QString folder = dir.filePath(QStringLiteral("locked"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = QDir(folder).filePath(QStringLiteral("old.png"));
    ASSERT_TRUE(WriteFile(path, kOld));
    const auto readOnly = QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther |
                          QFileDevice::ExeOther;
    QFile::setPermissions(dir.path(), readOnly | QFileDevice::WriteOwner);
    QFile::setPermissions(folder, readOnly);
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther |
                                    QFileDevice::WriteOther);
    {
        hostile::Unprivileged scope;
        if (!scope.Active())
            GTEST_SKIP() << "file permissions cannot be made to hold: " << scope.Why().toStdString();
        ExpectRefused(path);
        EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("old.png")});
    }
    QFile::setPermissions(folder, readOnly | QFileDevice::WriteOwner);
}

TEST_F(WriteFaults, AReadOnlyFileSystemIsRefused)
{
    SmallDisk disk(dir.filePath(QStringLiteral("ro")), "size=1m");
    if (!disk.Mounted())
        GTEST_SKIP() << disk.Why().toStdString();
    const QString path = disk.FilePath("old.png");
    ASSERT_TRUE(WriteFile(path, kOld));
    if (!disk.MakeReadOnly())
        GTEST_SKIP() << "cannot remount the tmpfs read-only: " << std::strerror(errno);
    ExpectRefused(path);
    // One sentence with the reason: the file is named once, not again in
    // the words of the layer below.
    EXPECT_EQ(messages.front().count(QStringLiteral("old.png")), 1) << messages.front().toStdString();
    ExpectRefused(disk.FilePath("new.png"), false);
    EXPECT_EQ(disk.Files(), QStringList{QStringLiteral("old.png")});
}

TEST_F(WriteFaults, AFullDiskIsRefusedAndLeavesNoPartialFile)
{
    SmallDisk disk(dir.filePath(QStringLiteral("full")), "size=64k");
    if (!disk.Mounted())
        GTEST_SKIP() << disk.Why().toStdString();
    for (const char* name : {"old.png", "old.bmp", "old.tif"})
        ASSERT_TRUE(WriteFile(disk.FilePath(name), kOld));
    // Fill what is left, then try to save a picture of some 90 kB.
    {
        QFile filler(disk.FilePath("filler"));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
    }
    for (const char* name : {"old.png", "old.bmp", "old.tif"}) {
        SCOPED_TRACE(name);
        ExpectRefused(disk.FilePath(name));
    }
    QStringList files = disk.Files();
    files.removeAll(QStringLiteral("filler"));
    for (const QString& file : files)
        EXPECT_TRUE(file.startsWith(QLatin1String("old."))) << "left behind: " << file.toStdString();
}

// A PNG large enough for several bands compressed at the same time, on a disk
// that fills after the first: the writer stops, the temporary file goes.
TEST_F(WriteFaults, ADiskThatFillsDuringAParallelPngSaveLeavesTheOldFile)
{
    SmallDisk disk(dir.filePath(QStringLiteral("fills")), "size=1m");
    if (!disk.Mounted())
        GTEST_SKIP() << disk.Why().toStdString();
    ASSERT_TRUE(WriteFile(disk.FilePath("old.png"), kOld));
    // Noise, which deflate cannot shrink: some 6 MB in four bands.
    OpenPicture(RandomColour(1200, 1800, 5, false));
    ASSERT_TRUE(messages.isEmpty());
    ASSERT_GE(Bitmap()->Height(), 3 * PngRowsPerBand(Bitmap()->Image()));
    picture = Bytes(*Bitmap());
    ExpectRefused(disk.FilePath("old.png"));
    ASSERT_FALSE(messages.isEmpty());
    EXPECT_TRUE(messages.front().contains(QStringLiteral("disk")) || messages.front().contains(QStringLiteral("space")))
        << messages.front().toStdString();
    EXPECT_EQ(disk.Files(), QStringList{QStringLiteral("old.png")});
}

TEST_F(WriteFaults, AFileSizeLimitIsRefusedLikeAFullDisk)
{
    const QString path = dir.filePath(QStringLiteral("old.bmp"));
    ASSERT_TRUE(WriteFile(path, kOld));
    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = previous;
    small.rlim_cur = 16 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    for (const char* name : {"old.bmp", "old.png", "old.ppm"}) {
        const QString target = dir.filePath(QString::fromLatin1(name));
        ASSERT_TRUE(QFile::exists(target) || WriteFile(target, kOld));
        SCOPED_TRACE(name);
        ExpectRefused(target);
    }
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, oldHandler);
    QStringList files = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    files.removeAll(QStringLiteral("open.png"));
    EXPECT_EQ(files, QStringList({QStringLiteral("old.bmp"), QStringLiteral("old.png"), QStringLiteral("old.ppm")}));
}

// Every cause of a refused save, for every kind of file, ours and Qt's
// writers alike: each cause is told in one sentence of its own, the same
// whatever the kind, and the old file stays.
TEST_F(WriteFaults, EachCauseIsToldInOneSentenceWhateverTheKind)
{
    const char* kinds[] = {"png", "jpg", "bmp", "tif", "webp", "ppm"};
    // Sets up the fault for a file of each kind and returns the paths to
    // save to, or an empty list when this system cannot make the fault.
    using TSetUp = std::function<QStringList()>;
    const auto old = [&](const QString& folder) {
        QStringList paths;
        for (const char* kind : kinds) {
            paths << QDir(folder).filePath(QStringLiteral("old.%1").arg(QLatin1String(kind)));
            WriteFile(paths.back(), kOld);
        }
        return paths;
    };
    SmallDisk full(dir.filePath(QStringLiteral("full")), "size=64k");
    SmallDisk readOnly(dir.filePath(QStringLiteral("ro")), "size=1m");
    const QString locked = dir.filePath(QStringLiteral("locked"));
    const QString files = dir.filePath(QStringLiteral("files"));
    const auto readOnlyOwner = QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther |
                               QFileDevice::ExeOther;
    const struct {
        const char* cause;
        const char* words; // what the one sentence says
        bool unprivileged; // saved as a user without root's rights
        bool sizeLimit;    // saved under a small file-size limit
        TSetUp setUp;
    } table[] = {
        {"full disk", "there is no room left on the disk.", false, false,
         [&] {
             if (!full.Mounted())
                 return QStringList();
             const QStringList paths = old(dir.filePath(QStringLiteral("full")));
             QFile filler(full.FilePath("filler"));
             filler.open(QIODevice::WriteOnly);
             const QByteArray block(4096, 'x');
             while (filler.write(block) == block.size() && filler.flush()) {
             }
             return paths;
         }},
        {"read-only file system", "(a read-only file system)", false, false,
         [&] {
             if (!readOnly.Mounted())
                 return QStringList();
             const QStringList paths = old(dir.filePath(QStringLiteral("ro")));
             return readOnly.MakeReadOnly() ? paths : QStringList();
         }},
        {"read-only file", "the file there is read-only", true, false,
         [&] {
             QDir().mkpath(files);
             QFile::setPermissions(dir.path(), readOnlyOwner | QFileDevice::WriteOwner);
             const QStringList paths = old(files);
             for (const QString& path : paths)
                 QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadOther);
             return paths;
         }},
        {"no permission", "no permission to write in that folder", true, false,
         [&] {
             QDir().mkpath(locked);
             const QStringList paths = old(locked);
             // The files themselves may be written by anyone: the folder refuses.
             for (const QString& path : paths)
                 QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                 QFileDevice::ReadOther | QFileDevice::WriteOther);
             QFile::setPermissions(dir.path(), readOnlyOwner | QFileDevice::WriteOwner);
             QFile::setPermissions(locked, readOnlyOwner);
             return paths;
         }},
        {"name too long", "the name is longer than the file system allows", false, false,
         [&] {
             QStringList paths;
             for (const char* kind : kinds)
                 paths << dir.filePath(QString(300, QLatin1Char('n')) + QLatin1Char('.') + QLatin1String(kind));
             return paths;
         }},
        {"path not found", "the folder does not exist", false, false,
         [&] {
             QStringList paths;
             for (const char* kind : kinds)
                 paths << dir.filePath(QStringLiteral("missing/old.%1").arg(QLatin1String(kind)));
             return paths;
         }},
        {"file-size limit", "larger than this system allows", false, true, [&] {
             const QString folder = dir.filePath(QStringLiteral("limit"));
             QDir().mkpath(folder);
             return old(folder);
         }},
    };
    QStringList sentences;
    for (const auto& row : table) {
        SCOPED_TRACE(row.cause);
        const QStringList paths = row.setUp();
        if (paths.isEmpty()) {
            ADD_FAILURE() << "this system cannot make the fault";
            continue;
        }
        QStringList reasons;
        for (const QString& path : paths) {
            SCOPED_TRACE(path.toStdString());
            const bool oldThere = QFile::exists(path);
            rlimit previous{};
            getrlimit(RLIMIT_FSIZE, &previous);
            const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
            if (row.sizeLimit) {
                rlimit small = previous;
                small.rlim_cur = 8 * 1024;
                setrlimit(RLIMIT_FSIZE, &small);
            }
            {
                std::optional<hostile::Unprivileged> user;
                if (row.unprivileged) {
                    user.emplace();
                    ASSERT_TRUE(user->Active()) << user->Why().toStdString();
                }
                ExpectRefused(path, oldThere);
            }
            setrlimit(RLIMIT_FSIZE, &previous);
            std::signal(SIGXFSZ, oldSignal);
            ASSERT_EQ(messages.size(), 1);
            const QString named = QStringLiteral("Cannot save \"%1\": ").arg(QDir::toNativeSeparators(path));
            ASSERT_TRUE(messages.front().startsWith(named)) << messages.front().toStdString();
            reasons << messages.front().mid(named.size());
        }
        reasons.removeDuplicates();
        EXPECT_EQ(reasons.size(), 1) << reasons.join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(reasons.front().contains(QLatin1String(row.words))) << reasons.front().toStdString();
        EXPECT_TRUE(reasons.front().endsWith(QLatin1Char('.')) && reasons.front().count(QLatin1String(". ")) == 0)
            << "one sentence: " << reasons.front().toStdString();
        sentences << reasons.front();
    }
    QFile::setPermissions(locked, readOnlyOwner | QFileDevice::WriteOwner);
    const qsizetype told = sentences.size();
    sentences.removeDuplicates();
    EXPECT_EQ(sentences.size(), told) << "two causes told alike";
}

// What the picture libraries print about a failed save (the TIFF library's
// "Write error at scanline", the JPEG library's notices) stays off the
// terminal: the message names the file and the reason instead.
TEST_F(WriteFaults, LibrariesPrintNothingOnTheTerminalWhenASaveFails)
{
    QTemporaryFile terminal;
    ASSERT_TRUE(terminal.open());
    std::fflush(stderr);
    const int saved = ::dup(2);
    ASSERT_GE(saved, 0);
    ::dup2(terminal.handle(), 2);
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = previous;
    small.rlim_cur = 8 * 1024;
    setrlimit(RLIMIT_FSIZE, &small);
    int refused = 0;
    for (const char* name : {"cut.tif", "cut.jpg", "cut.webp"}) {
        messages.clear();
        Save(dir.filePath(QString::fromLatin1(name)));
        refused += int(messages.size());
    }
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, oldSignal);
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    EXPECT_EQ(refused, 3);
    const QByteArray printed = testpictures::FileBytes(terminal.fileName());
    for (const char* words : {"TIFF", "Write error", "JPEG", "Bogus", "libpng", "webp"})
        EXPECT_FALSE(printed.contains(words)) << printed.toStdString();
}
