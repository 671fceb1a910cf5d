// File access as it is, where there is no file-system user to change
// (Windows, macOS): a file that denies reading is refused as it stands.
#include "HostileInputs.h"

#include <QFile>

namespace hostile {

Unprivileged::Unprivileged()
{
    active_ = true;
    why_ = QStringLiteral("file permissions are checked as they are");
}

Unprivileged::~Unprivileged() = default;

bool ReadableDespitePermissions(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly);
}

} // namespace hostile
