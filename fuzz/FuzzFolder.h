#pragma once

#include <string>

// A private temporary folder for the whole run of one harness (under $TMPDIR, else
// /dev/shm, else /tmp), removed with its contents when the process exits. Harnesses whose parser reads a
// file, or whose code writes one (the VPN profile), point the program folder here.
class FuzzFolder
{
public:
    // The folder, made on first use (aborts when it cannot be made).
    static const std::string& Path();
    // Writes `size` bytes to `name` in the folder, replacing it, mode 0600; returns its
    // path.
    static std::string Write(const std::string& name, const void* data, size_t size);
};
