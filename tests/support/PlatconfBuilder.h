#pragma once

#include "app/ResourceInfo.h"

#include <QByteArray>
#include <QString>
#include <string>
#include <vector>

// Builds a custom resource file (platconf) entry by entry, in the order given.
//
//   PlatconfBuilder().Text("wsh", "127.0.0.1").Text("wsp", "18080").WriteTo(path);
class PlatconfBuilder
{
public:
    // A text entry: the UTF-8 text followed by its terminating zero byte. Setting a
    // name that is already there replaces that entry in place.
    PlatconfBuilder& Text(const std::string& name, const std::string& text);
    // An entry holding exactly `data` (an image, or a text without terminator).
    PlatconfBuilder& Bytes(const std::string& name, const QByteArray& data);
    // The rectangle of the entry `name` (which must have been added).
    PlatconfBuilder& Rect(const std::string& name, int32_t left, int32_t top, int32_t right, int32_t bottom);

    // The file's bytes.
    QByteArray Build() const;
    // Writes the file; false (and a test failure) when it cannot be written.
    bool WriteTo(const QString& path) const;

private:
    _Resource_Info* Find(const std::string& name);
    _Resource_Info& Entry(const std::string& name);

    std::vector<_Resource_Info> entries_;
};
