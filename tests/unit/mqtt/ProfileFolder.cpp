#include "ProfileFolder.h"

#include <QDir>
#include <QFile>

#include <cstdlib>

namespace {

void Save(const char* name, std::string* value, bool* had)
{
    const char* current = std::getenv(name);
    *had = current != nullptr;
    if (current != nullptr) {
        *value = current;
    }
}

void Restore(const char* name, const std::string& value, bool had)
{
    if (had) {
        setenv(name, value.c_str(), 1);
    } else {
        unsetenv(name);
    }
}

} // namespace

ProfileFolder::ProfileFolder()
{
    Save("USERPROFILE", &savedProfile_, &hadProfile_);
    Save("HOME", &savedHome_, &hadHome_);
    setenv("USERPROFILE", dir_.path().toUtf8().constData(), 1);
}

ProfileFolder::~ProfileFolder()
{
    Restore("USERPROFILE", savedProfile_, hadProfile_);
    Restore("HOME", savedHome_, hadHome_);
}

bool ProfileFolder::WriteOptions(const QByteArray& content) const
{
    QFile file(QDir(dir_.path()).filePath("mosquitto_sub.conf"));
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}
