#include "control/LocalListenerHost.h"

#include "app/Installation.h"
#include "app/JsonPtr.h"
#include "endpoint/CServerAcceptSocket.h"
#include "endpoint/CServerSocket.h"
#include "endpoint/LocalListenerOwner.h"
#include "mqtt-c/mqtt_base64.h"
#include "platform/MessageBox.h"
#include "platform/WindowMessages.h"

#include <cjson/cJSON.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr char kCreateFailed[] = "创建套接字出错！";
constexpr char kSocketFailed[] = "创建套接字错误！";
constexpr char kBindFailed[] = "绑定套接字错误！";
constexpr char kListenFailed[] = "监听套接字错误！";
constexpr char kAcceptOutOfMemory[] = "内存不足,客户连接服务器失败！";
constexpr char kPortBindFailed[] = "端口绑定失败";
constexpr char kDefaultListenAddress[] = "127.0.0.1";
constexpr int kListenBacklog = 10;

LocalListenerOwner* OwnerFromParam(platform::WParam tunnel)
{
    return reinterpret_cast<LocalListenerOwner*>(tunnel);
}

} // namespace

LocalListenerHost::LocalListenerHost(Installation& installation, OwnerResolver resolveOwner)
    : installation_(installation), resolveOwner_(std::move(resolveOwner))
{
    if (!resolveOwner_) {
        resolveOwner_ = OwnerFromParam;
    }
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

LocalListenerOwner* LocalListenerHost::Resolve(platform::WParam tunnel) const
{
    return tunnel == 0 ? nullptr : resolveOwner_(tunnel);
}

platform::LResult LocalListenerHost::WindowProc(platform::MsgCode msg, platform::WParam wParam,
                                                platform::LParam lParam)
{
    switch (msg) {
    case WM_LISTENER_SETUP:
        SetUpListener(wParam, reinterpret_cast<platform::MessageWindow*>(lParam));
        return 0;
    case WM_LISTENER_ACCEPT:
        AcceptConnection(wParam);
        return 0;
    case WM_PORT_FORWARD_NOTICE:
        return 0; // nothing to do with it
    case WM_PORT_FORWARD_DATA:
        SendPayload(wParam, reinterpret_cast<const void*>(lParam));
        return 0;
    case WM_PORT_FORWARD_ACK: {
        // The acknowledged sequence number is read and has no further effect.
        const cJSON* message = reinterpret_cast<const cJSON*>(lParam);
        if (FindConnection(Resolve(wParam)) != nullptr && message != nullptr) {
            (void)cJSON_GetObjectItemCaseSensitive(message, "seq");
        }
        return 0;
    }
    case WM_PORT_FORWARD_MATCHED:
        if (CServerAcceptSocket* connection = FindConnection(Resolve(wParam))) {
            connection->SetMatchedFlag(1);
        }
        return 0;
    case WM_LISTENER_CLOSE:
        CloseListener();
        return 0;
    default:
        return 0;
    }
}

void LocalListenerHost::CloseListener()
{
    if (listener_ != nullptr) {
        listener_->Close();
        listener_.reset();
    }
}

bool LocalListenerHost::OpenListener(platform::WParam tunnel)
{
    const QString caption = QString::fromUtf8(platform::kDefaultMessageBoxCaption);
    listener_.reset(new (std::nothrow) CServerSocket(this, tunnel));
    if (listener_ == nullptr) {
        platform::ShowMessageBox(this, QString::fromUtf8(kCreateFailed), caption, platform::kMbOk);
        return false;
    }
    if (!listener_->Socket(FD_ALL_EVENTS)) {
        platform::ShowMessageBox(this, QString::fromUtf8(kSocketFailed), caption, platform::kMbOk);
        return false;
    }
    // Results ignored. A listening socket has no lingering data, so there is no
    // linger setting to make.
    listener_->SetReuseAddress(true);
    const LocalListenerOwner* owner = Resolve(tunnel);
    const uint16_t port = ListenPortForDeviceType(owner != nullptr ? owner->ListenerDeviceType() : 0);
    if (!listener_->Bind(port, ListenAddress(installation_))) {
        platform::ShowMessageBox(this, QString::fromUtf8(kBindFailed), caption, platform::kMbOk);
        return false;
    }
    if (!listener_->Listen(kListenBacklog)) {
        platform::ShowMessageBox(this, QString::fromUtf8(kListenFailed), caption, platform::kMbOk);
        return false;
    }
    return true;
}

void LocalListenerHost::SetUpListener(platform::WParam tunnel, platform::MessageWindow* answerWindow)
{
    CloseListener();
    const bool opened = OpenListener(tunnel);
    if (!opened) {
        // A listener that could not be set up is not kept.
        CloseListener();
    }
    if (answerWindow == nullptr) {
        return;
    }
    const JsonPtr tree(cJSON_CreateObject());
    cJSON* answer = tree.get();
    if (answer == nullptr) {
        return;
    }
    cJSON_AddNumberToObject(answer, "flag", opened ? 1 : 0);
    cJSON_AddStringToObject(answer, "msg", opened ? "" : kPortBindFailed);
    platform::SendWindowMessage(answerWindow, WM_TUNNEL_REPLY, tunnel,
                                reinterpret_cast<platform::LParam>(answer));
}

void LocalListenerHost::AcceptConnection(platform::WParam tunnel)
{
    ForgetEndedConnections();
    std::unique_ptr<CServerAcceptSocket> connection(
        new (std::nothrow) CServerAcceptSocket(Resolve(tunnel), &installation_.Trace()));
    if (connection == nullptr) {
        platform::AfxMessageBox(QString::fromUtf8(kAcceptOutOfMemory));
        return;
    }
    if (listener_ == nullptr || !listener_->Accept(*connection)) {
        return; // nothing was pending: there is no connection to keep
    }
    connection->AsyncSelect(FD_READ | FD_WRITE | FD_CLOSE);
    accepted_.push_back(std::move(connection));
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

void LocalListenerHost::SendPayload(platform::WParam tunnel, const void* messageParam)
{
    const cJSON* message = static_cast<const cJSON*>(messageParam);
    CServerAcceptSocket* connection = FindConnection(Resolve(tunnel));
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
