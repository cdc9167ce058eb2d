#include "platform/ExecutablePath.h"

#include <QFileInfo>

namespace platform {

QString ExecutableFolder()
{
    QFileInfo exe(QStringLiteral("/proc/self/exe"));
    const QString target = exe.symLinkTarget();
    if (target.isEmpty())
        return QString();
    return QFileInfo(target).absolutePath();
}

} // namespace platform
