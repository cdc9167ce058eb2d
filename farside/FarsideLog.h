#pragma once

#include <string>

// The far side's log: one line per event on standard output, flushed at once so a
// test or a terminal sees it while the process runs. Safe to call from any thread
// (the web service answers on a pool of threads).
class FarsideLog
{
public:
    static void Line(const std::string& text);
    static void Error(const std::string& text);
};
