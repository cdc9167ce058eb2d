#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Starting, listing and ending other programs.
//
// A started program is hidden: it runs in a session of its own (no controlling
// terminal), its standard input reads /dev/null and it inherits no descriptor of
// ours beyond the standard three. Command lines are run by /bin/sh -c. Children
// started without waiting are reaped in the background as soon as they end, so no
// zombie piles up however many are started.
class ProcessLauncher
{
public:
    // One running process.
    struct Entry
    {
        int64_t pid = 0;
        std::string name; // executable name as the kernel keeps it (/proc/<pid>/comm)
    };

    // Result of a command run to its end.
    struct Captured
    {
        bool started = false; // false: the process could not be created
        int exitStatus = -1;  // wait status as waitpid reports it
        std::string output;   // standard output and standard error, interleaved
    };

    // Starts `commandLine` hidden in `workingDir` (the current folder when empty);
    // its standard output and error go to /dev/null. Returns the process id, or 0
    // when the process could not be created (for example a missing folder).
    static int64_t StartHidden(const std::string& commandLine, const std::string& workingDir);

    // Runs `commandLine` hidden in `workingDir` and waits for it to end, collecting
    // everything it writes to standard output and error while it runs, so a command
    // that writes more than a pipe holds never stalls. Output that a background
    // descendant writes after the command itself ended is not waited for.
    static Captured RunCaptured(const std::string& commandLine, const std::string& workingDir);

    // Sends SIGKILL to `pid`. Never signals process groups, the calling process or
    // pids below 1. False when the signal could not be delivered.
    static bool Kill(int64_t pid);

    // True while `pid` names a process that has not ended (a zombie has ended).
    static bool IsRunning(int64_t pid);

    // Waits up to `timeoutMs` for `pid` to end; true when it has.
    static bool WaitGone(int64_t pid, int timeoutMs);

    // The running processes in ascending pid order, zombies left out. Empty when the
    // process list cannot be read.
    static std::vector<Entry> List();
};
