#include "app/LoginCache.h"

#include "app/ProgramFolder.h"

#include <QFile>
#include <QSaveFile>

std::unique_ptr<CRequestLogin> LoadLoginCache()
{
    QFile file(LoginCachePath());
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return nullptr;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return nullptr;
    return CRequestLogin::Deserialize(bytes);
}

bool SaveLoginCache(const CRequestLogin& record)
{
    // The bytes go to a temporary file in the same folder, which then replaces the
    // cache in one rename: a crash or a full disk never leaves half a cache behind.
    QSaveFile file(LoginCachePath());
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = record.Serialize();
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        file.commit();
        return false;
    }
    return file.commit();
}
