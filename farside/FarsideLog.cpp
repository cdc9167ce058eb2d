#include "FarsideLog.h"

#include <cstdio>
#include <mutex>

namespace {

std::mutex& LogMutex()
{
    static std::mutex mutex;
    return mutex;
}

} // namespace

void FarsideLog::Line(const std::string& text)
{
    std::lock_guard<std::mutex> lock(LogMutex());
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void FarsideLog::Error(const std::string& text)
{
    std::lock_guard<std::mutex> lock(LogMutex());
    std::fprintf(stderr, "lumetra-farside: %s\n", text.c_str());
    std::fflush(stderr);
}
