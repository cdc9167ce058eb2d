#include "app/ProgramFolder.h"

#include "platform/ExecutablePath.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

QString GetProgramFolder()
{
    // The environment variable lets tests, tools and side-by-side installations point
    // the program at another folder; it is read on every call so a test can change it.
    const QByteArray home = qgetenv("LUMETRA_HOME");
    // A relative folder is taken against the working folder once, here: helper
    // programs started later (the virtual COM pair tool) run from other folders.
    QString folder =
        home.isEmpty() ? platform::ExecutableFolder() : QDir(QFile::decodeName(home)).absolutePath();
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    return folder;
}
