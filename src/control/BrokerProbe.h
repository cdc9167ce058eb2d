#pragma once

#include "control/PreflightResult.h"

#include <string>

// The broker part of the pre-flight check: a connection of its own (not the client's,
// which may be running beside it) with the installation's broker entries, then a
// message to the PC's own topic that must come back. The message is an object
// without "cmdId", which every client of this PC drops unread, so a window running at
// the same time is not disturbed. Runs on the calling thread within the time given.
class BrokerProbe
{
public:
    struct Settings
    {
        std::string host;
        int port = 0;
        std::string user;
        std::string password;
        std::string pcId;
    };

    explicit BrokerProbe(Settings settings);

    // The connection with the installation's credentials (its time to the broker's
    // acceptance) and the message on "/<PC identifier>/lumetraToPC" back (the whole).
    PreflightResult Run(int timeoutMs) const;

private:
    Settings settings_;
};
