#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Starting, listing and ending other programs.
//
// A started program is hidden: it runs in a session of its own (no controlling
// terminal), its standard input reads /dev/null and it inherits no descriptor of
// ours beyond the standard three. Command lines are run by /bin/sh -c; StartProgram
// runs a program with its arguments and no shell. Children started without waiting
// are reaped in the background as soon as they end, so no zombie piles up however
// many are started.
//
// A process is known for sure by its id together with its start time (field 22 of
// /proc/<pid>/stat): an id can be reused once its process has ended, the pair never
// is. End signals a process only while that pair still matches.
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

    // Starts `program` hidden in `workingDir` with `arguments` (argv[1] on), without a
    // shell: the returned id is the program's own. A `program` without '/' is looked
    // up on PATH. Returns 0 when the process could not be created or the program not
    // executed (not found, not executable, a missing folder).
    static int64_t StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                                const std::string& workingDir);

    // Runs `commandLine` hidden in `workingDir` and waits for it to end, collecting
    // everything it writes to standard output and error while it runs, so a command
    // that writes more than a pipe holds never stalls. Output that a background
    // descendant writes after the command itself ended is not waited for.
    static Captured RunCaptured(const std::string& commandLine, const std::string& workingDir);

    // How End went.
    enum class EndResult
    {
        NotRunning, // no process with that id and start time: nothing was signalled
        Ended,      // it ended within the grace period after SIGTERM
        Killed,     // it outlived the grace period and ended after SIGKILL
        Survived,   // it could not be signalled or still runs after SIGKILL
    };

    // Ends the process `pid` if it still runs with the start time `startTime`:
    // SIGTERM first, SIGKILL when it has not ended within `graceMs`, then at most
    // `killWaitMs` more. Never signals the calling process, pids below 1 or a process
    // that took over the id. Where the kernel offers process descriptors (pidfd) the
    // signals go through one, so an id reused during the call is never hit.
    static EndResult End(int64_t pid, uint64_t startTime, int graceMs, int killWaitMs);

    // The start time of `pid` (clock ticks after boot, as /proc/<pid>/stat field 22
    // gives it), or 0 when no such process runs (zombies have ended).
    static uint64_t StartTime(int64_t pid);

    // The executable name of `pid` as the kernel keeps it (/proc/<pid>/comm, at most
    // 15 characters), or empty when there is no such process.
    static std::string NameOf(int64_t pid);

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

} // namespace platform
