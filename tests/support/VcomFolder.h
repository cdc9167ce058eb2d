#pragma once

#include "ScopedEnv.h"

#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

// A private virtual COM folder for one test, named by LUMETRA_VCOM_DIR while the
// object lives, with runs of the real pair tool lumetra-vcom against it. Destruction
// removes every pair made there (also those the code under test installed), kills
// any holder that does not go, and deletes the folder.
class VcomFolder
{
public:
    static constexpr int kToolTimeoutMs = 20000;

    struct Pair
    {
        int number = -1;
        int comA = -1; // the "CNCA" end
        int comB = -1; // the "CNCB" end
    };
    struct Result
    {
        int exitCode = -1; // -1 when the tool did not end on its own in time
        std::string out;
        std::string err;
    };

    VcomFolder();
    ~VcomFolder();
    VcomFolder(const VcomFolder&) = delete;
    VcomFolder& operator=(const VcomFolder&) = delete;

    bool IsValid() const { return !root_.empty(); }
    const std::string& Path() const { return path_; }
    std::string LinkPath(int com) const { return path_ + "/COM" + std::to_string(com); }
    // A scratch folder beside the COM folder, made on demand.
    std::string MakeDir(const std::string& name) const;
    // The environment that points the tool at this folder.
    std::map<std::string, std::string> Env() const { return {{"LUMETRA_VCOM_DIR", path_}}; }

    // Runs the tool to its end; the test fails when it does not end in time.
    Result Run(const std::vector<std::string>& args) const { return Run(args, Env()); }
    Result Run(const std::vector<std::string>& args, const std::map<std::string, std::string>& env) const;

    // Installs one pair and returns its ends as the tool reports them (a test failure
    // when that does not work); the pairs that exist now, from the tool's listing.
    Pair Install() const;
    std::vector<Pair> List() const;
    // The pairs named in install or list output, read by the markers the client relies
    // on ("CNC" + "A"/"B" + the pair number, the COM number after "RealPortName=COM");
    // a line with "RealPortName" that lacks one of them is a test failure.
    static std::vector<Pair> PairsIn(const std::string& output);

    // The holder pid recorded for pair `number`, or -1.
    pid_t HolderPid(int number) const;
    // Names in the folder other than the lock file, sorted; the numbers of the pairs
    // whose state files are there.
    std::vector<std::string> Entries() const;
    std::vector<int> PairNumbers() const;

    // Waits until process `pid` (not our child) has ended.
    static bool WaitForExit(pid_t pid, int timeoutMs);
    static std::string ToolPath();

private:
    std::string root_;
    std::string path_;
    ScopedEnv env_;
};
