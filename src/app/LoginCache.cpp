#include "app/LoginCache.h"

#include "app/PrivateFile.h"
#include "platform/BoundedFile.h"

#include <QFile>
#include <unistd.h>

std::unique_ptr<CRequestLogin> LoadLoginCache(const QString& path)
{
    // The cache holds a password: a link in its place is not followed, and a cache
    // left open to others is not used (the program reports it and stops). Only as
    // much as a cache can hold is read: a larger file counts as damaged, that is
    // absent.
    const int fd = PrivateFile::OpenOwnersForReading(QFile::encodeName(path).toStdString());
    if (fd < 0)
        return nullptr;
    QByteArray bytes;
    std::string error;
    const platform::BoundedFile::Result read =
        platform::BoundedFile::ReadFrom(fd, CRequestLogin::kMaxBytes, &bytes, &error);
    ::close(fd);
    if (read != platform::BoundedFile::Result::Read)
        return nullptr;
    return CRequestLogin::Deserialize(bytes);
}

bool LoginCacheIsOpenToOthers(const QString& path)
{
    return PrivateFile::IsOpenToOthers(QFile::encodeName(path).toStdString());
}

bool SaveLoginCache(const QString& path, const CRequestLogin& record)
{
    // The bytes go to a temporary file of the owner's alone in the same folder,
    // which then replaces the cache in one rename: a crash or a full disk never
    // leaves half a cache behind, and no other user ever sees the password. A record
    // the reader would refuse is not written: the cache in place (and the PC
    // identifier in it) stays.
    const QByteArray bytes = record.Serialize();
    if (static_cast<size_t>(bytes.size()) > CRequestLogin::kMaxBytes)
        return false;
    return PrivateFile::Replace(QFile::encodeName(path).toStdString(), bytes.toStdString());
}
