#include "platform/ComPortNames.h"

#include <cstdlib>
#include <unistd.h>

namespace platform {

std::string VirtualComFolder()
{
    std::string path;
    const char* own = std::getenv("LUMETRA_VCOM_DIR");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (own != nullptr && *own != '\0')
        path = own;
    else if (runtime != nullptr && *runtime != '\0')
        path = std::string(runtime) + "/lumetra-vcom";
    else
        path = "/tmp/lumetra-vcom-" + std::to_string(getuid());
    // The pair tool makes a relative folder absolute against its working folder; do the
    // same so both find the same links.
    if (path[0] != '/') {
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd) != nullptr)
            path = std::string(cwd) + "/" + path;
    }
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

int ComPortNumber(const std::string& name)
{
    size_t pos = 0;
    // The device namespace prefix that COM ports from 10 upwards need on Windows.
    if (name.compare(0, 4, "\\\\.\\") == 0)
        pos = 4;
    if (name.size() < pos + 4)
        return 0;
    for (size_t i = 0; i < 3; ++i) {
        const char c = name[pos + i];
        const char upper = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        if (upper != "COM"[i])
            return 0;
    }
    pos += 3;
    const size_t digits = name.size() - pos;
    if (digits == 0 || digits > 3)
        return 0;
    int number = 0;
    for (size_t i = pos; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9')
            return 0;
        number = number * 10 + (name[i] - '0');
    }
    return (number >= 1 && number <= 255) ? number : 0;
}

std::string ResolveComPortName(const std::string& name)
{
    if (!name.empty() && name[0] == '/')
        return name;
    const int number = ComPortNumber(name);
    if (number == 0)
        return name;
    return VirtualComFolder() + "/COM" + std::to_string(number);
}

} // namespace platform
