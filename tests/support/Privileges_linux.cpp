// File access as an unprivileged user on Linux: the file-system user and
// group of the thread become nobody's for the lifetime of the scope.
#include "HostileInputs.h"

#include <QFile>

#include <fcntl.h>
#include <sys/fsuid.h>
#include <unistd.h>

namespace hostile {

Unprivileged::Unprivileged()
{
    if (geteuid() != 0) {
        why_ = QStringLiteral("not running as root: permissions already hold");
        active_ = true;
        return;
    }
    constexpr uid_t nobody = 65534;
    previousGroup_ = gid_t(setfsgid(nobody));
    previous_ = uid_t(setfsuid(nobody));
    changed_ = true;
    if (uid_t(setfsuid(uid_t(-1))) != nobody) {
        why_ = QStringLiteral("setfsuid to an unprivileged user was refused");
        return;
    }
    active_ = true;
}

Unprivileged::~Unprivileged()
{
    if (changed_) {
        setfsuid(previous_);
        setfsgid(previousGroup_);
    }
}

bool ReadableDespitePermissions(const QString& path)
{
    Unprivileged scope;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

} // namespace hostile
