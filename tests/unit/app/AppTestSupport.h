#pragma once

#include "app/CRequestLogin.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <QFile>
#include <cstdlib>
#include <tuple>

// A fresh program folder: LUMETRA_HOME names it while the object lives.
class TempHome : public TempDir
{
public:
    // Points LUMETRA_HOME at `dir` until the object goes.
    static void Point(const QString& dir) { ::setenv("LUMETRA_HOME", QFile::encodeName(dir).constData(), 1); }
    QString File(const QString& name) const { return FilePath(name); }
    // Writes the file the owner's alone (0600), as the program writes its own: a
    // login cache open to others is refused.
    bool Write(const QString& name, const QByteArray& bytes) const
    {
        const QString path = TempDir::Write(name, bytes);
        return !path.isEmpty() &&
               QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    QByteArray Read(const QString& name) const { return TempDir::Read(FilePath(name)); }

private:
    ScopedEnv home_{"LUMETRA_HOME", Path().toStdString()};
};

inline CRequestLogin LoginRecord(const QString& user, const QString& password, int32_t remember,
                                 const QString& pcId)
{
    CRequestLogin r;
    r.SetUserName(user);
    r.SetPassword(password);
    r.SetRemember(remember);
    r.SetPcId(pcId);
    return r;
}

inline auto Fields(const CRequestLogin& r)
{
    return std::tuple(r.GetUserName(), r.GetPassword(), r.GetRemember(), r.GetPcId());
}
