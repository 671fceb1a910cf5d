#include "image/files/FileErrors.h"

#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>
#include <QStorageInfo>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <filesystem>
#include <system_error>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace {

// The system's codes for the causes, in the category whose text Qt's file
// engine gives as a device's error string: errno's on POSIX systems, the
// Windows API's on Windows (both Qt and the standard library ask the system
// for the same text).
struct TCode {
    int code;
    TWriteFault fault;
};
#ifdef Q_OS_WIN
const std::error_category& SystemTexts() { return std::system_category(); }
constexpr TCode kCodes[] = {
    {112, TWriteFault::NoRoom},             // ERROR_DISK_FULL
    {39, TWriteFault::NoRoom},              // ERROR_HANDLE_DISK_FULL
    {223, TWriteFault::TooLarge},           // ERROR_FILE_TOO_LARGE
    {19, TWriteFault::ReadOnlyFileSystem},  // ERROR_WRITE_PROTECT
    {206, TWriteFault::NameTooLong},        // ERROR_FILENAME_EXCED_RANGE
    {3, TWriteFault::PathNotFound},         // ERROR_PATH_NOT_FOUND
    {32, TWriteFault::InUse},               // ERROR_SHARING_VIOLATION
    {33, TWriteFault::InUse},               // ERROR_LOCK_VIOLATION
};
#else
const std::error_category& SystemTexts() { return std::generic_category(); }
constexpr TCode kCodes[] = {
    {ENOSPC, TWriteFault::NoRoom},
#ifdef EDQUOT
    {EDQUOT, TWriteFault::NoRoom},
#endif
    {EFBIG, TWriteFault::TooLarge},
    {EROFS, TWriteFault::ReadOnlyFileSystem},
    {ENAMETOOLONG, TWriteFault::NameTooLong},
    {ENOENT, TWriteFault::PathNotFound},
    {ENOTDIR, TWriteFault::PathNotFound},
    {EISDIR, TWriteFault::IsFolder},
};
#endif

// The cause the device's own text names, when it is one of the system's
// texts for a known cause. (Permission texts are left to the probes below:
// they do not say whether the file or the folder refused.)
// A system text without the line end and full stop some systems give it.
QString Bare(QString text)
{
    text = text.trimmed();
    while (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

bool FromSystemText(const QString& text, TWriteFault& fault)
{
    const QString bare = Bare(text);
    if (bare.isEmpty())
        return false;
    for (const TCode& code : kCodes)
        if (bare == Bare(QString::fromLocal8Bit(SystemTexts().message(code.code)))) {
            fault = code.fault;
            return true;
        }
    return false;
}

// A path as the standard library takes it, in the system's own encoding.
std::filesystem::path SystemPath(const QString& fileName)
{
#ifdef Q_OS_WIN
    return std::filesystem::path(fileName.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(fileName).toStdString());
#endif
}

// Whether a name of the path is longer than file systems keep: 255 bytes
// of the file system's encoding, or 255 UTF-16 units on Windows.
bool NameTooLong(const QString& fileName)
{
    std::error_code error;
    (void)std::filesystem::status(SystemPath(fileName), error);
    if (error == std::errc::filename_too_long)
        return true;
    for (const QString& name : QDir::fromNativeSeparators(fileName).split(QLatin1Char('/'))) {
#ifdef Q_OS_WIN
        if (name.size() > 255)
#else
        if (QFile::encodeName(name).size() > 255)
#endif
            return true;
    }
    return false;
}

// Whether the system lets this process change the file: asked by opening it
// for writing at its end, neither made nor cut short, nothing written. (The
// permission bits alone do not say it: they do not know the user's rights.)
bool MayChange(const QString& fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::Append | QIODevice::ExistingOnly);
}

// Whether a file may be made in the folder: one made and removed at once.
bool MayCreateIn(const QString& folder)
{
    QTemporaryFile file(QDir(folder).filePath(QStringLiteral("XXXXXX.tmp")));
    return file.open();
}

// The largest file this process may write in the folder: the process's own
// limit where the system has one (a shell's ulimit -f), and the 4 GiB of
// FAT file systems.
qint64 LargestFile(const QString& folder)
{
    qint64 largest = std::numeric_limits<qint64>::max();
#ifdef Q_OS_UNIX
    rlimit limit{};
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        largest = qint64(std::min<rlim_t>(limit.rlim_cur, rlim_t(largest)));
#endif
    const QByteArray type = QStorageInfo(folder).fileSystemType().toLower();
    if (type == "vfat" || type == "msdos" || type == "fat" || type == "fat32")
        largest = std::min(largest, (qint64(1) << 32) - 1);
    return largest;
}

// Less room than this left on a disk after a failed write: it was full.
constexpr std::uintmax_t kLittleRoom = 64 * 1024;

bool LittleRoom(const QString& folder)
{
    std::error_code error;
    const auto space = std::filesystem::space(SystemPath(folder), error);
    return !error && space.available < kLittleRoom;
}

} // namespace

TWriteFault FindWriteFault(const QString& fileName, const QFileDevice* file)
{
    TWriteFault fault = TWriteFault::Other;
    if (file && FromSystemText(file->errorString(), fault))
        return fault;
    if (file && file->error() == QFileDevice::ResourceError)
        return TWriteFault::NoRoom;
    // A write cut short at the largest size allowed leaves no text of its
    // own (Qt says "Unknown error").
    const QString folder = QFileInfo(fileName).absolutePath();
    if (file && file->pos() >= LargestFile(folder))
        return TWriteFault::TooLarge;
    // What the system's words did not name, its state does.
    const QFileInfo target(fileName);
    if (NameTooLong(fileName))
        return TWriteFault::NameTooLong;
    if (target.isDir())
        return TWriteFault::IsFolder;
    if (!QFileInfo(folder).isDir())
        return TWriteFault::PathNotFound;
    if (QStorageInfo(folder).isReadOnly())
        return TWriteFault::ReadOnlyFileSystem;
    if (target.exists() && !MayChange(fileName)) {
#ifdef Q_OS_WIN
        // Not marked read-only, yet it cannot be opened: another program
        // holds it.
        if (target.isWritable())
            return TWriteFault::InUse;
#endif
        return TWriteFault::ReadOnlyFile;
    }
    if (!MayCreateIn(folder))
        return TWriteFault::NoPermission;
    if (LittleRoom(folder))
        return TWriteFault::NoRoom;
    return TWriteFault::Other;
}

QString WriteFaultReason(TWriteFault fault, const QString& detail)
{
    switch (fault) {
    case TWriteFault::NoRoom:
        return QStringLiteral("there is no room left on the disk.");
    case TWriteFault::TooLarge:
        return QStringLiteral("the file would be larger than this system allows.");
    case TWriteFault::ReadOnlyFileSystem:
        return QStringLiteral("the disk there is read-only (a read-only file system), so nothing can be written "
                              "on it.");
    case TWriteFault::ReadOnlyFile:
        return QStringLiteral("the file there is read-only, so it cannot be replaced.");
    case TWriteFault::InUse:
        return QStringLiteral("another program is using the file, so it cannot be replaced.");
    case TWriteFault::NoPermission:
        return QStringLiteral("you have no permission to write in that folder.");
    case TWriteFault::NameTooLong:
        return QStringLiteral("the name is longer than the file system allows.");
    case TWriteFault::PathNotFound:
        return QStringLiteral("the folder does not exist.");
    case TWriteFault::IsFolder:
        return QStringLiteral("a folder has that name.");
    case TWriteFault::Other:
        break;
    }
    // Qt's text for no error known says nothing.
    return Because(QStringLiteral("the file could not be written"),
                   detail.trimmed() == QFile().errorString() ? QString() : detail);
}

QString Because(const QString& reason, const QString& detail)
{
    const QString words = Bare(detail);
    return words.isEmpty() ? reason + QLatin1Char('.') : QStringLiteral("%1 (%2).").arg(reason, words);
}

QString WriteFailureReason(const QString& fileName, const QFileDevice* file, const QString& writerDetail)
{
    const TWriteFault fault = FindWriteFault(fileName, file);
    QString detail = file && file->error() != QFileDevice::NoError ? file->errorString() : writerDetail;
    // The layer below names the file by its path; the message names it once.
    detail.replace(fileName, QFileInfo(fileName).fileName());
    return WriteFaultReason(fault, detail);
}
