#pragma once

#include "app/ResourceInfo.h"

#include <QString>
#include <string>
#include <vector>

// The lumetra-platconf command line: pack a folder into a custom resource file, list
// a file's entries, extract one entry's data. Exit codes: 0 done, 1 failed, 2 usage.
class PlatconfTool
{
public:
    int Run(int argc, char** argv);

private:
    int Pack(const QString& folder, const QString& file);
    int List(const QString& file);
    int Extract(const QString& file, const std::string& name);
    int Usage(bool error);

    // Reads and parses a file. False when it cannot be read at all. A damaged file
    // still returns true: `entries` holds the entries before the damage and `damage`
    // says where it is.
    bool Load(const QString& file, std::vector<_Resource_Info>* entries, std::string* damage);
    void Fail(const std::string& message);
};
