// Why a picture file could not be written, found from the system, and the
// one sentence each cause is told in, whatever kind of file was written and
// whichever writer wrote it.
#pragma once

#include <QString>

class QFileDevice;

enum class TWriteFault {
    NoRoom,             // the disk (or the user's quota on it) is full
    TooLarge,           // the file would pass the largest size allowed
    ReadOnlyFileSystem, // the file system holding the folder is read-only
    ReadOnlyFile,       // the file there may not be changed
    InUse,              // another program holds the file (Windows)
    NoPermission,       // the folder may not be written in
    NameTooLong,        // the name is longer than the file system allows
    PathNotFound,       // the folder does not exist
    IsFolder,           // a folder has that name
    Other,              // none of these: the layer below's words stand
};

// The cause of a failed write of fileName. file is the device that failed
// (its error and text are the system's first word), or nullptr for a write
// refused before any device was opened. Ask while the temporary file that
// failed still exists: a full disk is also found from the room left.
TWriteFault FindWriteFault(const QString& fileName, const QFileDevice* file);

// The reason for a fault as the end of "Cannot save "name": ...", one
// sentence ending in a full stop. detail (the words of the layer below) is
// kept, in brackets, only for a fault of no known cause.
QString WriteFaultReason(TWriteFault fault, const QString& detail = {});

// Both at once: the reason a write of fileName failed. writerDetail is what
// a picture writer said about it, used when the file and the system know
// nothing more.
QString WriteFailureReason(const QString& fileName, const QFileDevice* file, const QString& writerDetail = {});

// A reason as a sentence ending in a full stop, with the words of the layer
// below (Qt's reader or writer, the file system) kept in brackets.
QString Because(const QString& reason, const QString& detail);
