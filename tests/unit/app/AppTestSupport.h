#pragma once

#include "app/CRequestLogin.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdlib>
#include <tuple>

// A fresh program folder: LUMETRA_HOME names a temporary directory while the object lives.
class TempHome
{
public:
    TempHome() { Point(dir_.path()); }
    ~TempHome() { had_ ? Point(QFile::decodeName(old_)) : void(::unsetenv("LUMETRA_HOME")); }
    static void Point(const QString& dir) { ::setenv("LUMETRA_HOME", QFile::encodeName(dir).constData(), 1); }
    QString Path() const { return dir_.path(); }
    QString File(const QString& name) const { return dir_.filePath(name); }
    // Writes the file the owner's alone (0600), as the program writes its own: a
    // login cache open to others is refused.
    bool Write(const QString& name, const QByteArray& bytes) const
    {
        QFile file(File(name));
        return QDir().mkpath(QFileInfo(file).absolutePath()) && file.open(QIODevice::WriteOnly) &&
               file.write(bytes) == bytes.size() &&
               file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    QByteArray Read(const QString& name) const { return TempDir::Read(File(name)); }

private:
    QTemporaryDir dir_;
    bool had_ = qEnvironmentVariableIsSet("LUMETRA_HOME");
    QByteArray old_ = qgetenv("LUMETRA_HOME");
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
