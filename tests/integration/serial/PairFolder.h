#pragma once

#include "ScopedEnv.h"

#include <string>
#include <vector>

// A private virtual COM folder for one test, in a fresh temporary folder named by
// LUMETRA_VCOM_DIR while the object lives, with runs of the real pair tool
// lumetra-vcom against it. Destruction removes every pair made there (also those the
// code under test installed), kills any holder that does not go, and deletes the
// folder.
class PairFolder
{
public:
    struct Pair
    {
        int number = -1;
        int comA = -1; // the "CNCA" end
        int comB = -1; // the "CNCB" end
    };
    struct Result
    {
        int exitCode = -1;  // -1 when the tool did not end on its own within 20 s
        std::string output; // standard output and error together
    };

    PairFolder();
    ~PairFolder();
    PairFolder(const PairFolder&) = delete;
    PairFolder& operator=(const PairFolder&) = delete;

    bool IsValid() const { return !m_root.empty(); }
    // A scratch folder inside the temporary folder, made on demand.
    std::string MakeDir(const std::string& name) const;
    std::string LinkPath(int com) const { return m_path + "/COM" + std::to_string(com); }

    // Installs one pair and returns its ends as the tool reports them (a test failure
    // when that does not work); the pairs that exist now, read from the tool's listing
    // with a parser of the test's own; the numbers of the pairs whose state files are
    // in the folder.
    Pair Install() const;
    std::vector<Pair> List() const;
    std::vector<int> PairNumbers() const;

    static std::string ToolPath() { return std::string(LUMETRA_BIN_DIR) + "/lumetra-vcom"; }
    static Result RunTool(const std::string& args);

private:
    static std::vector<Pair> PairsIn(const std::string& output);

    std::string m_root;
    std::string m_path;
    ScopedEnv m_env;
};
