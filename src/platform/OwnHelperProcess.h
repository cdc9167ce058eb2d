#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace platform {

// The helper process this program started and must end (the OpenVPN client), with
// the file that records it. Process-wide on purpose: "the client this process
// started" is a fact of the process, which the window's flows start and end, the
// program's exit path ends and lumetra-cli ends, with no object in common; one
// record per process, under one lock, because any thread may start or end it.
class OwnHelperProcess
{
public:
    struct Entry
    {
        int64_t pid = 0;
        uint64_t startTime = 0;
        int64_t ownerPid = 0;
        uint64_t ownerStartTime = 0;
        std::string recordPath;
        // Started by the VPN service at this process's request: ended by asking it.
        bool viaService = false;
    };

    // The lock every use of Current holds.
    static std::mutex& Lock();
    // The helper on record; empty when none. Only with Lock held.
    static std::optional<Entry>& Current();
};

} // namespace platform
