#pragma once

#include <string>
#include <sys/stat.h>

// Sets this process's file creation mask for the life of the object (programs
// started meanwhile inherit it) and puts the previous one back afterwards. With 0,
// nothing narrows the modes a program asks for, so a file or folder that comes out
// private was made private by the program itself.
class ScopedUmask
{
public:
    explicit ScopedUmask(mode_t mask) : previous_(::umask(mask)) {}
    ~ScopedUmask() { ::umask(previous_); }
    ScopedUmask(const ScopedUmask&) = delete;
    ScopedUmask& operator=(const ScopedUmask&) = delete;

    // The permission bits of `path` itself (a link is not followed), or -1 when it
    // does not exist.
    static int ModeOf(const std::string& path)
    {
        struct stat st;
        return ::lstat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
    }

private:
    mode_t previous_;
};
