#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A fresh program folder for one test: a temporary directory named by LUMETRA_HOME
// while the object lives. The previous value of the variable is restored after.
class TempHome
{
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    bool IsValid() const { return m_dir.isValid(); }
    QString Path() const { return m_dir.path(); }
    // The path of a file inside the folder.
    QString File(const QString& name) const { return m_dir.filePath(name); }

    // Writes or reads a whole file inside the folder (sub-folders are created).
    bool Write(const QString& name, const QByteArray& bytes) const;
    QByteArray Read(const QString& name) const;

private:
    QTemporaryDir m_dir;
    QByteArray m_previous;
    bool m_hadPrevious = false;
};
