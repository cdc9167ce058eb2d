#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A fresh folder for one test, removed with everything in it when the object goes.
class TempDir
{
public:
    TempDir();

    bool IsValid() const { return dir_.isValid(); }
    QString Path() const { return dir_.path(); }
    // Path of `name` inside the folder (nothing is created).
    QString FilePath(const QString& name) const;
    // Writes `content` to `name` (creating sub-folders) and returns its path; an
    // empty text and a test failure when the file cannot be written.
    QString Write(const QString& name, const QByteArray& content) const;
    // Creates a sub-folder and returns its path.
    QString MakeDir(const QString& name) const;
    // The bytes of the file at `path`; empty when it cannot be read.
    static QByteArray Read(const QString& path);

private:
    QTemporaryDir dir_;
};
