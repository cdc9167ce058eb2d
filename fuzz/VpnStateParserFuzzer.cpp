// The OpenVPN client's management connection: any bytes are one chunk read from it.
// Each line says at most one thing (link up or down), and feeding the chunk to a
// window sends exactly the messages the parse lists, in order.

#include "FuzzCheck.h"
#include "endpoint/VpnStateParser.h"
#include "platform/MessageWindow.h"
#include "platform/WindowMessages.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

class LinkWindow : public platform::MessageWindow
{
public:
    platform::LResult WindowProc(platform::MsgCode msg, platform::WParam, platform::LParam) override
    {
        received.push_back(msg);
        return 0;
    }
    std::vector<platform::MsgCode> received;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* text = reinterpret_cast<const char*>(data);
    const std::vector<platform::MsgCode> messages = VpnStateParser::Parse(text, size);
    const void* zero = std::memchr(text, '\0', size);
    const size_t length = zero != nullptr ? static_cast<size_t>(static_cast<const char*>(zero) - text) : size;
    FUZZ_CHECK(messages.size() <= static_cast<size_t>(std::count(text, text + length, '\n')) + 1);
    for (platform::MsgCode message : messages)
        FUZZ_CHECK(message == WM_VPN_LINK_UP || message == WM_VPN_LINK_DOWN);

    LinkWindow window;
    VpnStateParser::Feed(text, size, &window);
    FUZZ_CHECK(window.received == messages);
    return 0;
}
