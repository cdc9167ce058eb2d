#pragma once

#include <optional>
#include <string>

// Sets (or, with nullopt, removes) one environment variable of this process for the
// life of the object and puts the previous value back afterwards.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> previous_;
};
