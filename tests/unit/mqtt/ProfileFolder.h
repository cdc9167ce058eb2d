#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <string>

// Points USERPROFILE at a fresh folder for one test, so that the MQTT client's
// options file is the test's own; USERPROFILE and HOME are restored afterwards.
class ProfileFolder
{
public:
    ProfileFolder();
    ~ProfileFolder();

    ProfileFolder(const ProfileFolder&) = delete;
    ProfileFolder& operator=(const ProfileFolder&) = delete;

    QString Path() const { return dir_.path(); }
    // Writes the options file "mosquitto_sub.conf" of the folder.
    bool WriteOptions(const QByteArray& content) const;

private:
    QTemporaryDir dir_;
    std::string savedProfile_;
    std::string savedHome_;
    bool hadProfile_ = false;
    bool hadHome_ = false;
};
