#include "app/ProgramFolder.h"

#include "platform/ExecutablePath.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <pwd.h>
#include <unistd.h>

namespace {

constexpr char kCustomResourceFile[] = "/custom_resource/platconf";

QString WithoutTrailingSeparators(QString folder)
{
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    return folder;
}

// LUMETRA_HOME made absolute, or empty when it is unset or empty.
QString HomeFromEnvironment()
{
    const QByteArray home = qgetenv("LUMETRA_HOME");
    if (home.isEmpty())
        return QString();
    // A relative folder is taken against the working folder once, here: helper
    // programs started later (the virtual COM pair tool) run from other folders.
    return WithoutTrailingSeparators(QDir(QFile::decodeName(home)).absolutePath());
}

// True when the executable's folder carries the installation's data itself (a build
// or unpacked folder rather than a system's bin folder).
bool DataBesideExecutable(const QString& exeFolder)
{
    return !exeFolder.isEmpty() && QFileInfo(exeFolder + QLatin1String(kCustomResourceFile)).isFile();
}

QString HomeOfUser()
{
    const QByteArray home = qgetenv("HOME");
    if (!home.isEmpty() && home.startsWith('/'))
        return QFile::decodeName(home);
    // No HOME (a service, a stripped environment): the account's home folder.
    if (const passwd* account = ::getpwuid(::geteuid()); account != nullptr && account->pw_dir != nullptr)
        return QFile::decodeName(account->pw_dir);
    return QStringLiteral("/");
}

} // namespace

QString GetProgramFolder()
{
    const QString home = HomeFromEnvironment();
    return home.isEmpty() ? WithoutTrailingSeparators(platform::ExecutableFolder()) : home;
}

QString GetDataFolder()
{
    const QString home = HomeFromEnvironment();
    if (!home.isEmpty())
        return home;
    const QString exeFolder = platform::ExecutableFolder();
    if (DataBesideExecutable(exeFolder))
        return WithoutTrailingSeparators(exeFolder);
    return QDir::cleanPath(exeFolder + QStringLiteral("/../share/lumetra"));
}

QString GetStateFolder()
{
    const QString home = HomeFromEnvironment();
    if (!home.isEmpty())
        return home;
    const QString exeFolder = platform::ExecutableFolder();
    if (DataBesideExecutable(exeFolder) && ::access(QFile::encodeName(exeFolder).constData(), W_OK) == 0)
        return WithoutTrailingSeparators(exeFolder);
    return UserDataFolder();
}

QString UserDataFolder()
{
    // Only an absolute XDG_DATA_HOME counts; a relative one is ignored as the base
    // directory rules ask.
    const QByteArray xdg = qgetenv("XDG_DATA_HOME");
    const QString base = xdg.startsWith('/') ? QFile::decodeName(xdg) : HomeOfUser() + "/.local/share";
    return WithoutTrailingSeparators(QDir::cleanPath(base + QStringLiteral("/lumetra")));
}
