#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// Which OpenVPN client process this program started: the client's id and start time
// and the id and start time of the program that started it (see ProcessLauncher on
// why a process is named by both). It is kept in a small file of the working
// folder, so that a client left running when its program crashed can be ended at
// the next start, and only that client.
//
// The file holds one line, four decimal numbers separated by single spaces and
// ended by "\n": client pid, client start time, owner pid, owner start time. It is
// readable and writable by its owner only.
class VpnClientRecord
{
public:
    // A file longer than this is not a record.
    static constexpr size_t kMaxFileBytes = 128;

    int64_t pid = 0;
    uint64_t startTime = 0;
    int64_t ownerPid = 0;
    uint64_t ownerStartTime = 0;

    // The record of the client `pid` started by the calling process; empty when the
    // client or the calling process cannot be looked up (the client already ended).
    static std::optional<VpnClientRecord> OfOwnClient(int64_t pid);

    // The file's text.
    std::string Text() const;
    // The record a file's text holds: exactly the line Text writes, pids from 1 to
    // INT_MAX and start times above 0. Anything else gives nothing.
    static std::optional<VpnClientRecord> Parse(const std::string& text);

    // Reads the record at `path` (a link is not followed); nothing when there is no
    // such file or it holds no record.
    static std::optional<VpnClientRecord> Load(const std::string& path);
    // Replaces the file at `path` with the record at once (PrivateFile::Replace: a
    // new 0600 file renamed into place, so a link there is replaced, never
    // followed, and a crash leaves the old record or the new one). True when done.
    bool Save(const std::string& path) const;

    // Whether the program that started the client still runs and is another process
    // than the calling one.
    bool OwnedByAnotherRunningProgram() const;

    bool operator==(const VpnClientRecord& other) const;
};
