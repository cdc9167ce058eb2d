#include "app/LoginCache.h"

#include "app/PrivateFile.h"
#include "app/ProgramFolder.h"

#include <QFile>
#include <unistd.h>

std::unique_ptr<CRequestLogin> LoadLoginCache()
{
    // The cache holds a password: a link in its place is not followed, and a cache
    // left readable by others is closed to them as it is read.
    const int fd = PrivateFile::OpenForReading(QFile::encodeName(LoginCachePath()).toStdString());
    if (fd < 0)
        return nullptr;
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return nullptr;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return nullptr;
    return CRequestLogin::Deserialize(bytes);
}

bool SaveLoginCache(const CRequestLogin& record)
{
    // The bytes go to a temporary file of the owner's alone in the same folder,
    // which then replaces the cache in one rename: a crash or a full disk never
    // leaves half a cache behind, and no other user ever sees the password.
    return PrivateFile::Replace(QFile::encodeName(LoginCachePath()).toStdString(),
                                record.Serialize().toStdString());
}
