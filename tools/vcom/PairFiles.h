#pragma once

#include "PairRecord.h"
#include "VcomFolder.h"

#include <string>
#include <utility>
#include <vector>

// The folder entries one holder made: its two links and its state file, which it
// keeps locked for its whole life. Remove() (also run on destruction) takes them
// away again, each only while it is still the holder's own.
class PairFiles
{
public:
    explicit PairFiles(const VcomFolder& folder) : folder_(folder) {}
    ~PairFiles() { Remove(); }
    PairFiles(const PairFiles&) = delete;
    PairFiles& operator=(const PairFiles&) = delete;

    // Publishes "COM<com>" -> `device`. False with a reason in `error`.
    bool Link(int com, const std::string& device, std::string* error);
    // Creates the state file of pair `number`, locks it and writes `record`.
    bool State(int number, const PairRecord& record, std::string* error);
    void Remove();

private:
    const VcomFolder& folder_;
    std::vector<std::pair<std::string, std::string>> links_; // link path, device
    int stateFd_ = -1;
    std::string statePath_;
};
