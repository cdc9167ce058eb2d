#include "endpoint/VpnStateParser.h"

#include "platform/MessageWindow.h"
#include "platform/WindowMessages.h"

#include <cstring>
#include <string_view>

namespace {

// The message for one line, or 0 when the line says nothing.
platform::MsgCode MessageForLine(std::string_view line)
{
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    // Only the first two non-empty fields matter.
    std::string_view fields[2];
    size_t found = 0;
    size_t start = 0;
    while (start <= line.size() && found < 2) {
        size_t comma = line.find(',', start);
        size_t end = comma == std::string_view::npos ? line.size() : comma;
        if (end > start) {
            fields[found++] = line.substr(start, end - start);
        }
        if (comma == std::string_view::npos) {
            break;
        }
        start = comma + 1;
    }
    if (found < 2) {
        return 0;
    }
    return fields[1] == "CONNECTED" ? WM_VPN_LINK_UP : WM_VPN_LINK_DOWN;
}

} // namespace

std::vector<platform::MsgCode> VpnStateParser::Parse(const char* data, size_t length)
{
    std::vector<platform::MsgCode> messages;
    if (data == nullptr) {
        return messages;
    }
    // The chunk is read as text: it ends at its first zero byte.
    const void* zero = std::memchr(data, '\0', length);
    if (zero != nullptr) {
        length = static_cast<size_t>(static_cast<const char*>(zero) - data);
    }
    std::string_view text(data, length);
    size_t start = 0;
    while (start < text.size()) {
        size_t newline = text.find('\n', start);
        size_t end = newline == std::string_view::npos ? text.size() : newline;
        if (platform::MsgCode message = MessageForLine(text.substr(start, end - start))) {
            messages.push_back(message);
        }
        if (newline == std::string_view::npos) {
            break;
        }
        start = newline + 1;
    }
    return messages;
}

void VpnStateParser::Feed(const char* data, size_t length, platform::MessageWindow* target)
{
    if (target == nullptr) {
        return;
    }
    for (platform::MsgCode message : Parse(data, length)) {
        platform::SendWindowMessage(target, message, 0, 0);
    }
}
