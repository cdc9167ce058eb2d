#pragma once

#include "support/ScopedEnv.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

// Points USERPROFILE at a fresh folder for one test, so that the MQTT client's
// options file is the test's own; USERPROFILE and HOME are restored afterwards.
class ProfileFolder
{
public:
    QString Path() const { return dir_.path(); }
    // Writes the options file "mosquitto_sub.conf" of the folder.
    bool WriteOptions(const QByteArray& content) const
    {
        QFile file(QDir(dir_.path()).filePath("mosquitto_sub.conf"));
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    }

private:
    static std::optional<std::string> Current(const char* name)
    {
        const char* value = std::getenv(name);
        return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
    }

    QTemporaryDir dir_;
    ScopedEnv profile_{"USERPROFILE", dir_.path().toStdString()};
    ScopedEnv home_{"HOME", Current("HOME")};
};

// Everything written so far to `file`, a stream the client writes to.
inline std::string ReadAll(FILE* file)
{
    std::string text;
    std::rewind(file);
    for (int c; (c = std::fgetc(file)) != EOF;)
        text += static_cast<char>(c);
    return text;
}
