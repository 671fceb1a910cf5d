// File access as an unprivileged user on Linux: the file-system user and
// group of the thread become nobody's for the lifetime of the scope.
#include "HostileInputs.h"

#include "app/Background.h"

#include <QFile>

#include <fcntl.h>
#include <sys/fsuid.h>
#include <unistd.h>

namespace hostile {

namespace {

constexpr uid_t kNobody = 65534;
int scopes = 0;

// Work on the pool runs as nobody too while a scope lasts: the pool's
// threads were started before it, with the user of their own.
void AsNobody(TProgress&, const std::function<void()>& work)
{
    const gid_t group = gid_t(setfsgid(kNobody));
    const uid_t user = uid_t(setfsuid(kNobody));
    struct Back {
        gid_t group;
        uid_t user;
        ~Back()
        {
            setfsuid(user);
            setfsgid(group);
        }
    } back{group, user};
    work();
}

} // namespace

Unprivileged::Unprivileged()
{
    if (geteuid() != 0) {
        why_ = QStringLiteral("not running as root: permissions already hold");
        active_ = true;
        return;
    }
    constexpr uid_t nobody = kNobody;
    previousGroup_ = gid_t(setfsgid(nobody));
    previous_ = uid_t(setfsuid(nobody));
    changed_ = true;
    if (scopes++ == 0)
        BackgroundHooks.aroundWork = AsNobody;
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
        if (--scopes == 0)
            BackgroundHooks.aroundWork = nullptr;
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
