#include "platform/OwnHelperProcess.h"

namespace platform {

std::mutex& OwnHelperProcess::Lock()
{
    static std::mutex lock;
    return lock;
}

std::optional<OwnHelperProcess::Entry>& OwnHelperProcess::Current()
{
    static std::optional<Entry> current;
    return current;
}

} // namespace platform
