#pragma once

#include "PairRecord.h"

#include <string>
#include <vector>

// The virtual COM folder: the links "COMk" to the pair ends, one state file
// "pair<n>" per pair and the lock file ".lock". A pair is alive while its holder
// keeps an exclusive flock() on its state file, so a holder that died (even by
// SIGKILL) is recognised without trusting a process id that may have been reused.
class VcomFolder
{
public:
    static constexpr int kMaxCom = 255;
    static constexpr int kMaxPair = 127;

    // $LUMETRA_VCOM_DIR, else $XDG_RUNTIME_DIR/lumetra-vcom, else /tmp/lumetra-vcom-<uid>.
    static std::string DefaultPath();

    explicit VcomFolder(std::string path) : path_(std::move(path)) {}

    // Creates the folder (and its parents) when missing and checks that it is a
    // directory this user may write. False with a reason in `error` otherwise.
    bool Prepare(std::string* error) const;

    const std::string& Path() const { return path_; }
    std::string LockPath() const { return path_ + "/.lock"; }
    std::string StatePath(int number) const { return path_ + "/pair" + std::to_string(number); }
    std::string LinkPath(int com) const { return path_ + "/COM" + std::to_string(com); }

    // The calls below expect the folder lock to be held.

    // Removes the links and state of every pair whose holder is gone, and every
    // "COMk" link to a pseudo-terminal that no live pair claims.
    void RemoveDeadPairs() const;
    // The live pairs, by pair number.
    std::vector<PairRecord> LivePairs() const;
    // Lowest pair number without a state file, or -1 when all are taken.
    int LowestFreePair() const;
    // True when "COMk" exists in the folder or a live pair claims k.
    bool ComInUse(int com) const;
    // Lowest k >= 1 that is not in use and not `except`, or -1.
    int LowestFreeCom(int except) const;

    // Reads the state file of pair `number`. `alive` tells whether its holder still
    // holds the file's lock. False when there is no such file or it cannot be read.
    bool ReadPair(int number, PairRecord* record, bool* alive) const;
    // Removes the two links of `record` (when they still point at its devices) and
    // its state file.
    void RemovePairFiles(const PairRecord& record) const;

private:
    std::vector<int> StateNumbers() const;
    std::vector<int> LinkNumbers() const;

    std::string path_;
};
