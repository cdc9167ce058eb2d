#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>
#include <optional>
#include <string>

// Points USERPROFILE at a fresh folder for one test, so that the MQTT client's
// options file is the test's own; USERPROFILE and HOME are restored afterwards.
class ProfileFolder
{
public:
    ProfileFolder() { setenv("USERPROFILE", Path().toUtf8().constData(), 1); }
    ~ProfileFolder()
    {
        Restore("USERPROFILE", profile_);
        Restore("HOME", home_);
    }

    QString Path() const { return dir_.path(); }
    // Writes the options file "mosquitto_sub.conf" of the folder.
    bool WriteOptions(const QByteArray& content) const
    {
        QFile file(QDir(dir_.path()).filePath("mosquitto_sub.conf"));
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    }

private:
    static std::optional<std::string> Saved(const char* name)
    {
        const char* value = std::getenv(name);
        return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
    }
    static void Restore(const char* name, const std::optional<std::string>& value)
    {
        value ? setenv(name, value->c_str(), 1) : unsetenv(name);
    }

    QTemporaryDir dir_;
    std::optional<std::string> profile_ = Saved("USERPROFILE");
    std::optional<std::string> home_ = Saved("HOME");
};
