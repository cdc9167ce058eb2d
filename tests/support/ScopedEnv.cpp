#include "ScopedEnv.h"

#include <cstdlib>

ScopedEnv::ScopedEnv(const char* name, const std::optional<std::string>& value) : m_name(name)
{
    if (const char* previous = std::getenv(name))
        m_previous = previous;
    if (value)
        setenv(name, value->c_str(), 1);
    else
        unsetenv(name);
}

ScopedEnv::~ScopedEnv()
{
    if (m_previous)
        setenv(m_name.c_str(), m_previous->c_str(), 1);
    else
        unsetenv(m_name.c_str());
}
