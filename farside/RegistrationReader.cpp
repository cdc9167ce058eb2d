#include "RegistrationReader.h"

#include "InboundMessage.h"
#include "TcpConnection.h"

#include <algorithm>
#include <chrono>

namespace {

const std::string kMagic = "zelq";

} // namespace

long RegistrationReader::ObjectLength(const std::string& text)
{
    int depth = 0;
    bool inString = false, escaped = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (depth == 0 && i == 0 && c != '{')
            return -1;
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == '"')
            inString = true;
        else if (c == '{' || c == '[')
            ++depth;
        else if ((c == '}' || c == ']') && --depth == 0)
            return static_cast<long>(i + 1);
    }
    return 0;
}

RegistrationReader::Scan RegistrationReader::Look(const std::string& buffer, Result* result,
                                                  std::string* error)
{
    const bool maybeFrame =
        kMagic.compare(0, std::min(buffer.size(), kMagic.size()), buffer.substr(0, kMagic.size())) == 0;
    if (!buffer.empty() && maybeFrame && buffer.size() >= 6) {
        const size_t length = static_cast<unsigned char>(buffer[4]) |
                              static_cast<size_t>(static_cast<unsigned char>(buffer[5])) << 8;
        if (buffer.size() >= 6 + length) {
            result->framed = true;
            result->json = buffer.substr(6, length);
            result->rest = buffer.substr(6 + length);
            return Scan::Complete;
        }
    } else if (!buffer.empty() && !maybeFrame) {
        const long length = ObjectLength(buffer);
        if (length < 0) {
            *error = "expected a registration object or a zelq frame, got a byte 0x" +
                     std::string(1, "0123456789ABCDEF"[static_cast<unsigned char>(buffer[0]) >> 4]) +
                     std::string(1, "0123456789ABCDEF"[buffer[0] & 15]);
            return Scan::Refused;
        }
        if (length > 0) {
            result->framed = false;
            result->json = buffer.substr(0, static_cast<size_t>(length));
            result->rest = buffer.substr(static_cast<size_t>(length));
            return Scan::Complete;
        }
    }
    return Scan::Incomplete;
}

bool RegistrationReader::Read(TcpConnection& connection, int timeoutMs, Result* result, std::string* error)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string buffer;
    for (;;) {
        const Scan scan = Look(buffer, result, error);
        if (scan != Scan::Incomplete)
            return scan == Scan::Complete;
        if (buffer.size() > kMaxLength) {
            *error = "no complete registration within " + std::to_string(kMaxLength) + " bytes";
            return false;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                .count();
        const std::string more = connection.Receive(4096, left > 0 ? static_cast<int>(left) : 0);
        if (more.empty()) {
            *error = connection.TimedOut()
                         ? "no registration within " + std::to_string(timeoutMs / 1000) + " s"
                         : "connection closed before a complete registration";
            return false;
        }
        buffer += more;
    }
}

bool RegistrationReader::ParseRegistration(const std::string& json, Registration* registration,
                                           std::string* error)
{
    InboundMessage message;
    if (!message.Parse(json) || !message.MembersAre({"st", "pc_id", "gw_sn", "dev_sn", "reconnect"}) ||
        !message.Integer("st", &registration->st) || !message.Text("pc_id", &registration->pcId) ||
        !message.Text("gw_sn", &registration->gwSn) || !message.Text("dev_sn", &registration->devSn) ||
        !message.Integer("reconnect", &registration->reconnect)) {
        *error = "registration refused: " + message.Error();
        return false;
    }
    return true;
}

bool RegistrationReader::ParseRelease(const std::string& json, Release* release, std::string* error)
{
    InboundMessage message;
    int cmdId = 0;
    if (!message.Parse(json) || !message.Integer("cmd_id", &cmdId)) {
        *error = "frame refused: " + message.Error();
        return false;
    }
    if (cmdId != 3002) {
        *error = "frame refused: cmd_id " + std::to_string(cmdId) + " (only 3002 is known)";
        return false;
    }
    if (!message.MembersAre({"cmd_id", "gw_sn", "dev_sn", "pc_id", "restart_gw_service"}) ||
        !message.Text("gw_sn", &release->gwSn) || !message.Text("dev_sn", &release->devSn) ||
        !message.Text("pc_id", &release->pcId)) {
        *error = "3002 refused: " + message.Error();
        return false;
    }
    return true;
}
