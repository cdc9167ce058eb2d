// A user's OpenVPN profile as the VPN service reads it before OpenVPN runs it as root:
// any bytes are one profile. A profile the check accepts holds only allowed
// directives, and the text the service hands OpenVPN reads back as exactly the
// directives that were checked (nothing added, dropped or split by the rewrite).

#include "FuzzCheck.h"
#include "ProfileCheck.h"
#include "ProfileRules.h"

#include <string>

namespace {

bool Same(const ProfileCheck::Directive& a, const ProfileCheck::Directive& b)
{
    return a.name == b.name && a.arguments == b.arguments && a.block == b.block && a.body == b.body &&
           a.namesFile == b.namesFile && a.output == b.output;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const std::vector<ProfileCheck::Directive> checked = ProfileCheck::Parse(text, error);
    if (!error.empty())
        return 0;
    FUZZ_CHECK(size <= ProfileCheck::kMaxBytes);
    FUZZ_CHECK(checked.size() <= ProfileCheck::kMaxDirectives);
    for (const ProfileCheck::Directive& directive : checked) {
        if (directive.block)
            continue;
        const ProfileRules::Kind kind = ProfileRules::Of(directive.name).kind;
        FUZZ_CHECK(kind != ProfileRules::Kind::Unknown && kind != ProfileRules::Kind::Forbidden);
    }

    const std::string written = ProfileCheck::Write(checked);
    std::string again;
    const std::vector<ProfileCheck::Directive> reread = ProfileCheck::Parse(written, again);
    FUZZ_CHECK(again.empty());
    FUZZ_CHECK(reread.size() == checked.size());
    for (size_t i = 0; i < checked.size() && i < reread.size(); ++i)
        FUZZ_CHECK(Same(checked[i], reread[i]));
    return 0;
}
