#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

TempDir::TempDir() : dir_(QDir::tempPath() + QStringLiteral("/lumetra-test-XXXXXX"))
{
    if (!dir_.isValid())
        ADD_FAILURE() << "cannot create a temporary folder: " << dir_.errorString().toStdString();
}

QString TempDir::FilePath(const QString& name) const
{
    return dir_.filePath(name);
}

QString TempDir::Write(const QString& name, const QByteArray& content) const
{
    QString path = FilePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size()) {
        ADD_FAILURE() << "cannot write " << path.toStdString() << ": " << file.errorString().toStdString();
        return QString();
    }
    return path;
}

QString TempDir::MakeDir(const QString& name) const
{
    QString path = FilePath(name);
    if (!QDir().mkpath(path))
        ADD_FAILURE() << "cannot create folder " << path.toStdString();
    return path;
}

QByteArray TempDir::Read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
