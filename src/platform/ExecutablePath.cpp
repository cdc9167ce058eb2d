#include "platform/ExecutablePath.h"

#include <QFileInfo>

namespace platform {

QString ExecutablePath()
{
    return QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
}

QString ExecutableFolder()
{
    const QString target = ExecutablePath();
    if (target.isEmpty())
        return QString();
    return QFileInfo(target).absolutePath();
}

} // namespace platform
