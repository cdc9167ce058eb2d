#pragma once

#include <string>

// One check of the pre-flight check (PreflightCheck): what was checked, whether it
// passed, how long it took and, when it failed, why and what to do about it.
struct PreflightResult
{
    std::string name;   // "web service", "broker", "local port 502", ...
    std::string target; // what was asked: "127.0.0.1:32006", a folder, a program; may be empty
    bool ok = false;    // passed
    bool needed = true; // a failure makes the whole check fail; otherwise it is a warning
    long long ms = 0;   // time the check took
    std::string detail; // what was found (on success too, e.g. a certificate's expiry)
    std::string fix;    // one line saying what to do; set when the check failed
};
