#pragma once

#include "ToolProcess.h"

#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

// A private virtual COM folder for one test and the runs of lumetra-vcom against
// it. Destruction removes every pair made there (killing any holder that does
// not go) and deletes the folder.
class VcomTestFolder
{
public:
    static constexpr int kToolTimeoutMs = 20000;

    VcomTestFolder();
    ~VcomTestFolder();
    VcomTestFolder(const VcomTestFolder&) = delete;
    VcomTestFolder& operator=(const VcomTestFolder&) = delete;

    const std::string& Root() const { return m_root; }
    const std::string& Path() const { return m_path; }
    std::string LinkPath(int com) const { return m_path + "/COM" + std::to_string(com); }
    // The environment that points the tool at this folder.
    std::map<std::string, std::string> Env() const { return {{"LUMETRA_VCOM_DIR", m_path}}; }

    struct Result
    {
        int exitCode = -1;
        std::string out;
        std::string err;
    };
    // Runs the tool to its end; the test fails when it does not end in time.
    Result Run(const std::vector<std::string>& args) const { return Run(args, Env()); }
    Result Run(const std::vector<std::string>& args, const std::map<std::string, std::string>& env) const;

    // The holder pid recorded for pair `number`, or -1.
    pid_t HolderPid(int number) const;
    // Names in the folder other than the lock file, sorted.
    std::vector<std::string> Entries() const;

    // Waits until process `pid` (not our child) has ended.
    static bool WaitForExit(pid_t pid, int timeoutMs);
    static std::string ToolPath() { return LUMETRA_BIN_DIR "/lumetra-vcom"; }

private:
    std::string m_root;
    std::string m_path;
};
