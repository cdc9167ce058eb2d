#pragma once

#include "ScopedEnv.h"

#include <string>
#include <sys/types.h>
#include <vector>

// A private virtual COM folder for one test, made in a fresh temporary folder and
// named by LUMETRA_VCOM_DIR while the object lives, with runs of the real pair tool
// lumetra-vcom against it. Destruction removes every pair made there (also those the
// code under test installed), kills any holder that does not go, and deletes the
// folder.
class PairFolder
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
        bool finished = false; // ended on its own before the time-out
        int exitCode = -1;
        std::string output; // standard output and error together
    };

    PairFolder();
    ~PairFolder();
    PairFolder(const PairFolder&) = delete;
    PairFolder& operator=(const PairFolder&) = delete;

    bool IsValid() const { return !m_root.empty(); }
    // A scratch folder inside the temporary folder, made on demand.
    std::string MakeDir(const std::string& name) const;
    const std::string& Path() const { return m_path; }
    std::string LinkPath(int com) const { return m_path + "/COM" + std::to_string(com); }

    // Installs one pair and returns its ends as the tool reports them; a test failure
    // when that does not work.
    Pair Install() const;
    // The pairs that exist now, read from the tool's listing with a parser of the
    // test's own.
    std::vector<Pair> List() const;
    // The numbers of the pairs whose state files are in the folder.
    std::vector<int> PairNumbers() const;

    static std::string ToolPath();
    // Runs the tool with `args`; killed at the time-out.
    static Result RunTool(const std::vector<std::string>& args);

private:
    static std::vector<Pair> PairsIn(const std::string& output);
    pid_t HolderPid(int number) const;

    std::string m_root;
    std::string m_path;
    ScopedEnv m_env;
};
