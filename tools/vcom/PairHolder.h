#pragma once

#include "PairRecord.h"
#include "VcomFolder.h"

#include <string>

// Starts the background process that holds one pair: it detaches from the caller
// (new session, no standard streams, no inherited descriptors), creates the two
// pseudo-terminals, publishes the links "COM<comA>" and "COM<comB>" and the state
// file, and then copies bytes between the ends until it gets SIGTERM, SIGINT or
// SIGHUP, when it removes its links and state file and exits.
class PairHolder
{
public:
    // How long Start() waits for the holder to report that the pair is up.
    static constexpr int kReadyTimeoutMs = 10000;

    // Called with the folder lock held; `lockFd` is closed in the holder. Returns
    // when the holder has published the pair (true, `made` filled in) or failed
    // (false, reason in `error`).
    static bool Start(const VcomFolder& folder, int lockFd, int number, int comA, int comB, PairRecord* made,
                      std::string* error);

private:
    // Runs in the detached process; reports "ok" or "error <reason>" on `readyFd`.
    static int Hold(const VcomFolder& folder, int readyFd, int number, int comA, int comB);
    static void Detach(int* readyFd);
};
