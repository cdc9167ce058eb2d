#pragma once

#include "app/CRequestLogin.h"

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
    TempHome() { Point(m_dir.path()); }
    ~TempHome() { m_had ? Point(QFile::decodeName(m_old)) : void(::unsetenv("LUMETRA_HOME")); }
    static void Point(const QString& dir) { ::setenv("LUMETRA_HOME", QFile::encodeName(dir).constData(), 1); }
    QString Path() const { return m_dir.path(); }
    QString File(const QString& name) const { return m_dir.filePath(name); }
    bool Write(const QString& name, const QByteArray& bytes) const
    {
        QFile file(File(name));
        return QDir().mkpath(QFileInfo(file).absolutePath()) && file.open(QIODevice::WriteOnly) &&
               file.write(bytes) == bytes.size();
    }
    QByteArray Read(const QString& name) const
    {
        QFile file(File(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    QTemporaryDir m_dir;
    bool m_had = qEnvironmentVariableIsSet("LUMETRA_HOME");
    QByteArray m_old = qgetenv("LUMETRA_HOME");
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
