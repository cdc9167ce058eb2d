#pragma once

#include <cstddef>
#include <string>

// Files and folders whose contents other local users must not read: the login cache
// (a password), the trace log (tunnel traffic), the VPN client's profile and
// credentials and their working folder. Files are created 0600 and folders 0700
// whatever the umask, and one found open to group or others is tightened through
// its open descriptor. The last component of a path is never followed when it is a
// link, so a link put in a file's place cannot redirect the write or the mode change
// to another file.
class PrivateFile
{
public:
    // Opens `path` for writing, created 0600 when missing. With `append` every write
    // goes to the end; without it the file is emptied, but only after the checks
    // below, so a file that is refused keeps its bytes. The file must be a regular
    // file with one name (a second hard link could be someone else's file), and one
    // open to group or others must let itself be made 0600. The descriptor, or -1
    // with errno set (ELOOP for a link, EINVAL for a file that is not regular,
    // EMLINK for several names, EPERM when the mode cannot be tightened).
    static int OpenForWriting(const std::string& path, bool append);

    // Opens `path` for reading; a regular file of ours open to group or others is
    // made 0600 on the way. -1 with errno set when it cannot be opened, is a link or
    // is not a regular file.
    static int OpenForReading(const std::string& path);

    // Opens `path` for reading only when it is the owner's alone: a file open to group
    // or others is refused (-1, errno EACCES) and left as it is, so that its owner
    // learns of it instead of a password having been readable unnoticed. -1 with errno
    // set, as OpenForReading, when it cannot be opened, is a link or is not regular.
    static int OpenOwnersForReading(const std::string& path);

    // True when `path` itself (a link is not followed) is a regular file that group
    // or others may read or write.
    static bool IsOpenToOthers(const std::string& path);

    // Replaces `path` with `bytes` at once: they go to a new temporary file in the same
    // folder (created 0600, never readable by others) that is then renamed over the
    // old file, so a crash or a full disk never leaves half a file. A link in the
    // file's place is replaced, not followed. False when anything fails; no temporary
    // file is left behind.
    static bool Replace(const std::string& path, const std::string& bytes);

    // Makes the folder `path` when it is missing (0700; missing parents with the
    // usual mode) and tightens a folder of ours that is open to group or others to
    // 0700. A folder of another user is left as it is, and so is a link in the
    // folder's place. True when `path` then names a folder.
    static bool MakeFolder(const std::string& path);

    // Writes every byte, retrying partial writes and interruptions.
    static bool WriteAll(int fd, const char* data, size_t size);
};
