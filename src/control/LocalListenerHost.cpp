#include "control/LocalListenerHost.h"

#include "app/Installation.h"
#include "app/JsonPtr.h"
#include "app/UiText.h"
#include "endpoint/CServerAcceptSocket.h"
#include "endpoint/CServerSocket.h"
#include "endpoint/LocalListenerOwner.h"
#include "mqtt-c/mqtt_base64.h"
#include "platform/ExecutablePath.h"
#include "platform/MessageBox.h"

#include <cjson/cJSON.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <set>

namespace {

constexpr char kCreateFailed[] = QT_TRANSLATE_NOOP("UiText", "创建套接字出错！");
constexpr char kSocketFailed[] = QT_TRANSLATE_NOOP("UiText", "创建套接字错误！");
constexpr char kBindFailed[] = QT_TRANSLATE_NOOP("UiText", "绑定套接字错误！");
constexpr char kListenFailed[] = QT_TRANSLATE_NOOP("UiText", "监听套接字错误！");
// After kBindFailed when the port is below 1024 and the system refused the right to
// bind it (%1: the running executable).
constexpr char kBindNeedsCapability[] = QT_TRANSLATE_NOOP(
    "UiText",
    "绑定 1024 以下的端口需要权限。请执行以下命令后重新打开通道：\nsudo setcap cap_net_bind_service=+ep %1");
constexpr uint16_t kFirstUnprivilegedPort = 1024;
constexpr char kAcceptOutOfMemory[] = QT_TRANSLATE_NOOP("UiText", "内存不足,客户连接服务器失败！");
constexpr char kDefaultListenAddress[] = "127.0.0.1";
constexpr int kListenBacklog = 10;

} // namespace

LocalListenerHost::LocalListenerHost(Installation& installation)
    : installation_(installation), addresses_(installation.TunnelAddressPath())
{
}

LocalListenerHost::~LocalListenerHost() = default;

uint16_t LocalListenerHost::ListenPortForDeviceType(int typeCode)
{
    switch (typeCode) {
    case 2:
    case 6:
        return 502;
    case 3:
    case 12:
        return 102;
    case 10:
    case 16:
        return 5562;
    case 13:
    case 14:
        return 9600;
    default:
        return 502;
    }
}

QString LocalListenerHost::ListenAddress(const Installation& installation)
{
    const std::string configured = installation.ResourceText("listen_host");
    return QString::fromStdString(configured.empty() ? std::string(kDefaultListenAddress) : configured);
}

platform::LResult LocalListenerHost::WindowProc(platform::MsgCode /*msg*/, platform::WParam /*wParam*/,
                                                platform::LParam /*lParam*/)
{
    return 0;
}

void LocalListenerHost::OnNotice(LocalListenerOwner& /*owner*/, const cJSON* /*message*/)
{
    // nothing to do with it
}

void LocalListenerHost::OnAck(LocalListenerOwner& owner, const cJSON* message)
{
    // The acknowledged sequence number is read and has no further effect.
    if (FindConnection(&owner) != nullptr && message != nullptr) {
        (void)cJSON_GetObjectItemCaseSensitive(message, "seq");
    }
}

void LocalListenerHost::OnMatched(LocalListenerOwner& owner, const cJSON* /*message*/)
{
    if (CServerAcceptSocket* connection = FindConnection(&owner)) {
        connection->SetMatchedFlag(1);
    }
}

void LocalListenerHost::Close(LocalListenerOwner& owner)
{
    for (auto it = listeners_.begin(); it != listeners_.end(); ++it) {
        if (it->owner == &owner) {
            std::unique_ptr<CServerSocket> socket = std::move(it->socket);
            listeners_.erase(it);
            if (socket != nullptr) {
                socket->Close();
            }
            return;
        }
    }
}

CServerSocket* LocalListenerHost::ListenerOf(const LocalListenerOwner* owner) const
{
    for (const Listening& listening : listeners_) {
        if (listening.owner == owner) {
            return listening.socket.get();
        }
    }
    return nullptr;
}

std::string LocalListenerHost::Where(const LocalListenerOwner& owner) const
{
    for (const Listening& listening : listeners_) {
        if (listening.owner == &owner) {
            return listening.address.toStdString() + ":" + std::to_string(listening.port);
        }
    }
    return std::string();
}

QString LocalListenerHost::AddressFor(const LocalListenerOwner& owner, uint16_t port) const
{
    const QString standard = ListenAddress(installation_);
    std::set<std::string> inUse;
    for (const Listening& listening : listeners_) {
        if (listening.owner != &owner && listening.port == port) {
            inUse.insert(listening.address.toStdString());
        }
    }
    if (inUse.count(standard.toStdString()) == 0) {
        return standard;
    }
    return QString::fromStdString(addresses_.AddressFor(owner.ListenerDeviceSn(), inUse));
}

bool LocalListenerHost::OpenListener(LocalListenerOwner& owner)
{
    const QString caption = QString::fromUtf8(platform::kDefaultMessageBoxCaption);
    LocalListenerOwner* accepting = &owner;
    const uint16_t port = ListenPortForDeviceType(owner.ListenerDeviceType());
    Listening listening;
    listening.owner = accepting;
    listening.port = port;
    listening.address = AddressFor(owner, port);
    listening.socket.reset(new (std::nothrow)
                               CServerSocket(accepting, [this, accepting] { AcceptConnection(accepting); }));
    if (listening.socket == nullptr) {
        platform::ShowMessageBox(this, QString::fromUtf8(kCreateFailed), caption, platform::kMbOk);
        return false;
    }
    if (!listening.socket->Socket(FD_ALL_EVENTS)) {
        platform::ShowMessageBox(this, QString::fromUtf8(kSocketFailed), caption, platform::kMbOk);
        return false;
    }
    // Results ignored. A listening socket has no lingering data, so there is no
    // linger setting to make.
    listening.socket->SetReuseAddress(true);
    // No address is left when every loopback address listens on this port already.
    if (listening.address.isEmpty() || !listening.socket->Bind(port, listening.address)) {
        platform::ShowMessageBox(this, QString::fromUtf8(kBindFailed), caption, platform::kMbOk);
        // Without root, the capability or a lowered unprivileged port start, the
        // user needs the exact command that grants this program the right.
        if (port < kFirstUnprivilegedPort && listening.socket->GetLastError() == EACCES) {
            platform::ShowMessageBox(this, UiText::tr(kBindNeedsCapability).arg(platform::ExecutablePath()),
                                     caption, platform::kMbOk);
        }
        return false;
    }
    if (!listening.socket->Listen(kListenBacklog)) {
        platform::ShowMessageBox(this, QString::fromUtf8(kListenFailed), caption, platform::kMbOk);
        return false;
    }
    listeners_.push_back(std::move(listening));
    return true;
}

JsonPtr LocalListenerHost::SetUp(LocalListenerOwner& owner)
{
    Close(owner);
    // A listener that could not be set up is not kept.
    const bool opened = OpenListener(owner);
    JsonPtr answer(cJSON_CreateObject());
    if (answer == nullptr) {
        return answer;
    }
    cJSON_AddNumberToObject(answer.get(), "flag", opened ? 1 : 0);
    cJSON_AddStringToObject(answer.get(), "msg", opened ? "" : kTextPortBindFailed);
    return answer;
}

void LocalListenerHost::AcceptConnection(LocalListenerOwner* owner)
{
    ForgetEndedConnections();
    std::unique_ptr<CServerAcceptSocket> connection(new (std::nothrow)
                                                        CServerAcceptSocket(owner, &installation_.Trace()));
    if (connection == nullptr) {
        platform::AfxMessageBox(QString::fromUtf8(kAcceptOutOfMemory));
        return;
    }
    CServerSocket* listener = ListenerOf(owner);
    if (listener == nullptr || !listener->Accept(*connection)) {
        return; // nothing was pending: there is no connection to keep
    }
    connection->AsyncSelect(FD_READ | FD_WRITE | FD_CLOSE);
    accepted_.push_back(std::move(connection));
}

void LocalListenerHost::HoldReading(LocalListenerOwner& owner, bool hold)
{
    for (const std::unique_ptr<CServerAcceptSocket>& connection : accepted_) {
        if (connection->Owner() != &owner) {
            continue;
        }
        if (hold) {
            connection->PauseReceive();
        } else {
            connection->ResumeReceive();
        }
    }
}

void LocalListenerHost::ForgetEndedConnections()
{
    accepted_.erase(std::remove_if(accepted_.begin(), accepted_.end(),
                                   [](const std::unique_ptr<CServerAcceptSocket>& connection) {
                                       return connection->HasEnded();
                                   }),
                    accepted_.end());
}

CServerAcceptSocket* LocalListenerHost::FindConnection(const LocalListenerOwner* owner) const
{
    if (owner == nullptr) {
        return nullptr;
    }
    for (const std::unique_ptr<CServerAcceptSocket>& connection : accepted_) {
        if (connection->Owner() == owner && !connection->HasEnded()) {
            return connection.get();
        }
    }
    return nullptr;
}

void LocalListenerHost::OnData(LocalListenerOwner& owner, const cJSON* message)
{
    CServerAcceptSocket* connection = FindConnection(&owner);
    if (connection == nullptr || message == nullptr) {
        return;
    }
    const cJSON* sequence = cJSON_GetObjectItemCaseSensitive(message, "pt_sn");
    const cJSON* payload = cJSON_GetObjectItemCaseSensitive(message, "pt_payload");
    if (sequence == nullptr || payload == nullptr || !cJSON_IsString(payload) ||
        payload->valuestring == nullptr) {
        return;
    }
    const char* text = payload->valuestring;
    const std::vector<uint8_t> bytes = mqtt_base64_decode(text, std::strlen(text));
    if (!bytes.empty()) {
        connection->Send(bytes.data(), static_cast<int>(bytes.size()), 0);
    }
}
