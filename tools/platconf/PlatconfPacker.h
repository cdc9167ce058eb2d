#pragma once

#include "app/ResourceInfo.h"

#include <QString>
#include <string>
#include <vector>

// Builds a custom resource file from a folder: every regular file becomes one entry
// named after it, in byte order of the names so that the output is reproducible.
//  - files ending in ".png" (any case) are stored as they are;
//  - every other file is a text entry: its content without one trailing "\n" or
//    "\r\n", followed by a terminating zero byte;
//  - "platconf.manifest" is not packed; it gives entries their value and rectangle;
//  - names starting with '.' (editor and version-control files) are skipped.
class PlatconfPacker
{
public:
    // Reads the folder into entries. False with a one-line reason in `error`.
    bool Collect(const QString& folder, std::vector<_Resource_Info>* entries, std::string* error);

    // Writes the entries to `file` through a temporary file that replaces it at the
    // end, so a failed run never leaves a half-written file. False with a reason.
    static bool Write(const QString& file, const std::vector<_Resource_Info>& entries, std::string* error);

    // The stored data of a text file's content.
    static std::vector<uint8_t> TextEntryData(const QByteArray& content);
    static bool IsImageName(const QString& fileName);

    // A file to leave out of the folder (the output file when it lies inside it).
    void SetExcludedFile(const QString& path) { excluded_ = path; }

private:
    QString excluded_;
};
