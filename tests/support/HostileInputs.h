// Hostile picture files, built at test time from valid pictures Qt writes (and
// a few written by hand for kinds Qt only reads): truncations, flipped bits,
// empty and mislabelled files, folders, unreadable and missing paths,
// headers that declare absurd sizes, and damaged profile, resolution and text
// chunks.
#pragma once

#include <QList>
#include <QString>

namespace hostile {

// What loading an input may do.
enum class Expect {
    Refused,            // must fail with a message
    RefusedOrRecovered, // a damaged body Qt's reader may decode in part
    Opens,              // damage in what the picture carries: opens, no message
};

struct Input {
    QString kind; // the picture kind it was made from, or "file system"
    QString what; // how it was made, e.g. "truncated at 57 of 1234 bytes"
    QString path;
    Expect expect = Expect::Refused;
    bool truncated = false;
    qsizetype cut = 0; // for truncations: the bytes kept
    // Readable only with privileges: open it inside an Unprivileged scope.
    bool unreadable = false;
};

// Writes every input into folder (which must exist) and returns them.
QList<Input> Build(const QString& folder);

// While alive, file access on this thread is checked as an unprivileged user
// (on Linux through setfsuid), so that permissions hold even when the tests
// run as root. Active() is false, with the reason in Why(), when that could
// not be done. Defined per platform (Privileges_linux.cpp, Privileges_other.cpp).
class Unprivileged {
public:
    Unprivileged();
    ~Unprivileged();
    Unprivileged(const Unprivileged&) = delete;
    Unprivileged& operator=(const Unprivileged&) = delete;
    bool Active() const { return active_; }
    QString Why() const { return why_; }

private:
    bool active_ = false;
    bool changed_ = false;
    unsigned previous_ = 0;      // the file-system user and group to go back to
    unsigned previousGroup_ = 0;
    QString why_;
};

// True when this process can still read path inside an Unprivileged scope
// (some sandboxes keep the capability to bypass file permissions).
bool ReadableDespitePermissions(const QString& path);

} // namespace hostile
