#include "platform/ExecutablePath.h"

#include <QFileInfo>

QString ExecutableFolder()
{
    QFileInfo exe(QStringLiteral("/proc/self/exe"));
    const QString target = exe.symLinkTarget();
    if (target.isEmpty())
        return QString();
    return QFileInfo(target).absolutePath();
}
