#include "TempHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdlib>

TempHome::TempHome()
{
    m_hadPrevious = qEnvironmentVariableIsSet("LUMETRA_HOME");
    m_previous = qgetenv("LUMETRA_HOME");
    ::setenv("LUMETRA_HOME", QFile::encodeName(m_dir.path()).constData(), 1);
}

TempHome::~TempHome()
{
    if (m_hadPrevious)
        ::setenv("LUMETRA_HOME", m_previous.constData(), 1);
    else
        ::unsetenv("LUMETRA_HOME");
}

bool TempHome::Write(const QString& name, const QByteArray& bytes) const
{
    const QString path = File(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes) == bytes.size();
}

QByteArray TempHome::Read(const QString& name) const
{
    QFile file(File(name));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}
