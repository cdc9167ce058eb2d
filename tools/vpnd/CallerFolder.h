#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

// The folders of one calling user from which the service takes files: the user's
// home folder (from the user database) and /run/user/<uid>, each only when it is a
// folder owned by that user (never "/"). A file is taken only when it lies inside one
// of them after resolving links, is not itself a link, is a regular file owned by the
// user that neither group nor others may write, in a folder owned by the user. The
// file is opened once and read from the opened descriptor, so what was checked is
// what is read.
class CallerFolder
{
public:
    explicit CallerFolder(uid_t uid);

    uid_t Uid() const { return uid_; }
    // False when the user has no folder the service takes files from.
    bool HasFolders() const { return !roots_.empty(); }

    // The content of `path` (relative to `base` unless absolute), at most `maxBytes`;
    // empty with `error` set when the file is refused.
    std::optional<std::string> Read(const std::string& path, const std::string& base, size_t maxBytes,
                                    std::string& error) const;

    // Whether a file OpenVPN would write at `path` (relative to `base` unless
    // absolute) lies inside the user's folders, lexically (".." resolved). The service
    // keeps such files in its own folder instead.
    bool HoldsOutput(const std::string& path, const std::string& base) const;

    // `path` without "." and ".." parts, made absolute against `base`.
    static std::string Normalized(const std::string& path, const std::string& base);

private:
    bool Inside(const std::string& absolute) const;

    uid_t uid_;
    std::vector<std::string> roots_;
};
