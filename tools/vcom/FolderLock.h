#pragma once

#include <string>

// An exclusive flock() on the folder's lock file, held for the object's lifetime.
// Every command that reads or changes the pairs of a folder holds it, so two
// installs never pick the same numbers and nobody reads a half-written state file.
class FolderLock
{
public:
    FolderLock() = default;
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Blocks until the lock is ours. False with a reason in `error` when the lock
    // file cannot be opened or locked.
    bool Acquire(const std::string& lockPath, std::string* error);
    void Release();
    // The descriptor, so a forked holder can close its copy (a copy would keep the
    // lock held for the holder's whole life).
    int Fd() const { return fd_; }

private:
    int fd_ = -1;
};
