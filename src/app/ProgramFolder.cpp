#include "app/ProgramFolder.h"

#include "platform/ExecutablePath.h"

#include <QByteArray>
#include <QFile>

QString GetProgramFolder()
{
    // The environment variable lets tests, tools and side-by-side installations point
    // the program at another folder; it is read on every call so a test can change it.
    const QByteArray home = qgetenv("LUMETRA_HOME");
    QString folder = home.isEmpty() ? ExecutableFolder() : QFile::decodeName(home);
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    return folder;
}

QString CustomResourcePath()
{
    return GetProgramFolder() + QStringLiteral("/custom_resource/platconf");
}

QString LoginCachePath()
{
    return GetProgramFolder() + QStringLiteral("/licache");
}

QString TraceLogPath()
{
    return GetProgramFolder() + QStringLiteral("/logtrace");
}
