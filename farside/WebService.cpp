#include "WebService.h"

#include "CertificateFactory.h"
#include "FarsideLog.h"

#include "app/JsonPtr.h"

#include <cjson/cJSON.h>
#include <httplib.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

namespace {

// Texts of the replies (the client shows "msg" to the user).
const char* const kLoginOk = "登录成功";
const char* const kLoginRefused = "用户名或密码错误";
const char* const kBadRequest = "请求格式错误";
const char* const kQueryOk = "查询成功";
const char* const kNoSuchAccount = "账号不存在";
const char* const kForeignGateway = "网关不存在或不属于该账号";

const char* const kContentType = "application/json; charset=utf-8";
constexpr int kCertificateDays = 30;

std::string Print(cJSON* object)
{
    const JsonText text(cJSON_PrintUnformatted(object));
    return text ? text.get() : "{}";
}

std::string Failure(const char* msg)
{
    JsonPtr reply(cJSON_CreateObject());
    cJSON_AddNumberToObject(reply.get(), "flag", 0);
    cJSON_AddStringToObject(reply.get(), "msg", msg);
    return Print(reply.get());
}

// Reads a request body the way the client's replies are read: member names are
// matched without regard to case. Each getter records why a member does not fit.
class RequestReader
{
public:
    explicit RequestReader(const std::string& body) : root_(cJSON_ParseWithLength(body.c_str(), body.size()))
    {
        if (!root_)
            problem_ = "body is not JSON";
        else if (!cJSON_IsObject(root_.get()))
            problem_ = "body is not a JSON object";
    }

    bool Ok() const { return problem_.empty(); }
    const std::string& Problem() const { return problem_; }

    // A string member; `required` false gives "" when absent.
    std::string Text(const char* name, bool required)
    {
        const cJSON* item = Item(name);
        if (!item) {
            if (required)
                Note(std::string(name) + " is missing");
            return "";
        }
        if (!cJSON_IsString(item)) {
            Note(std::string(name) + " is not a string");
            return "";
        }
        return item->valuestring;
    }

    // A string member holding a decimal integer (the client writes ids with "%d").
    int IntegerText(const char* name)
    {
        const cJSON* item = Item(name);
        if (!item || !cJSON_IsString(item)) {
            Note(std::string(name) + (item ? " is not a string" : " is missing"));
            return 0;
        }
        const char* text = item->valuestring;
        char* end = nullptr;
        errno = 0;
        long value = std::strtol(text, &end, 10);
        if (*text == '\0' || *end != '\0' || errno != 0 || value < INT_MIN || value > INT_MAX) {
            Note(std::string(name) + " is not a decimal number: \"" + text + "\"");
            return 0;
        }
        return static_cast<int>(value);
    }

    // A number member with an integer value; `present` tells whether it was there.
    int Integer(const char* name, bool required, bool* present = nullptr)
    {
        const cJSON* item = Item(name);
        if (present)
            *present = item != nullptr;
        if (!item) {
            if (required)
                Note(std::string(name) + " is missing");
            return 0;
        }
        double value = item->valuedouble;
        if (!cJSON_IsNumber(item) || value != static_cast<double>(static_cast<long long>(value)) ||
            value < INT_MIN || value > INT_MAX) {
            Note(std::string(name) + " is not an integer number");
            return 0;
        }
        return static_cast<int>(value);
    }

    void Note(const std::string& problem)
    {
        if (problem_.empty())
            problem_ = problem;
    }

private:
    const cJSON* Item(const char* name) const
    {
        return root_ ? cJSON_GetObjectItem(root_.get(), name) : nullptr;
    }

    JsonPtr root_;
    std::string problem_;
};

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

bool Contains(const std::optional<std::string>& field, const std::string& wanted)
{
    return wanted.empty() || field.value_or("").find(wanted) != std::string::npos;
}

void AddOptionalText(cJSON* object, const char* name, const std::optional<std::string>& value)
{
    if (value)
        cJSON_AddStringToObject(object, name, value->c_str());
}

cJSON* DeviceJson(const Inventory::Device& device)
{
    cJSON* item = cJSON_CreateObject();
    for (const Inventory::DeviceField& field : Inventory::DeviceFields()) {
        if (field.integer && (device.*field.integer))
            cJSON_AddNumberToObject(item, field.name, *(device.*field.integer));
        else if (field.text)
            AddOptionalText(item, field.name, device.*field.text);
        else if (field.boolean && (device.*field.boolean))
            cJSON_AddBoolToObject(item, field.name, *(device.*field.boolean));
        else if (!field.integer && !field.text && !field.boolean)
            cJSON_AddStringToObject(item, field.name, device.deviceSn.c_str());
    }
    return item;
}

} // namespace

WebService::WebService(const Inventory& inventory) : inventory_(inventory) {}

WebService::~WebService()
{
    Stop();
}

bool WebService::IsHttpsPort(int port)
{
    return port == 443 || port == 8443 || port == 10443;
}

bool WebService::Listen(const std::string& host, int port, std::string* error)
{
    host_ = host;
    port_ = port;
    if (IsHttpsPort(port)) {
        CertificateFactory::KeyPtr key;
        CertificateFactory::CertificatePtr certificate;
        if (!CertificateFactory::Create(host, kCertificateDays, &key, &certificate, error))
            return false;
        // The SSL context takes its own references to the certificate and key.
        auto server = std::make_unique<httplib::SSLServer>(certificate.get(), key.get());
        if (!server->is_valid()) {
            *error = "cannot set up HTTPS with the generated certificate";
            return false;
        }
        server_ = std::move(server);
    } else {
        server_ = std::make_unique<httplib::Server>();
    }
    // SO_REUSEADDR only: the library's default adds SO_REUSEPORT, which would let a
    // second service bind the same port and share its connections instead of failing.
    server_->set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    AddRoutes();
    errno = 0;
    if (!server_->bind_to_port(host, port)) {
        *error = "cannot listen on " + host + ":" + std::to_string(port) +
                 (errno ? std::string(": ") + std::strerror(errno) : std::string());
        return false;
    }
    return true;
}

std::string WebService::Url() const
{
    return std::string(IsHttpsPort(port_) ? "https://" : "http://") + host_ + ":" + std::to_string(port_);
}

bool WebService::Start(std::function<void()> onFailure, std::string* error)
{
    thread_ = std::thread([this, onFailure] {
        server_->listen_after_bind();
        ended_ = true;
        if (!stopping_ && onFailure)
            onFailure();
    });
    // The server notes that it runs at the start of its loop; a stop before that
    // would be ignored, so wait for it (bounded).
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!server_->is_running() && !ended_ && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!server_->is_running()) {
        *error = "the web service on " + Url() + " did not start";
        return false;
    }
    return true;
}

void WebService::Stop()
{
    stopping_ = true;
    if (server_)
        server_->stop();
    if (thread_.joinable())
        thread_.join();
}

void WebService::AddRoutes()
{
    auto route = [this](const char* path, std::string (WebService::*action)(const std::string&) const) {
        server_->Post(path, [this, action](const httplib::Request& request, httplib::Response& response) {
            response.set_content((this->*action)(request.body), kContentType);
        });
    };
    route("/CommonService/Login", &WebService::Login);
    route("/CommonService/QueryGateway", &WebService::QueryGateway);
    route("/CommonService/QueryDeviceByGw", &WebService::QueryDeviceByGw);
    server_->set_error_handler([](const httplib::Request& request, httplib::Response& response) {
        FarsideLog::Line("unknown request " + request.method + " " + request.path + " -> " +
                         std::to_string(response.status));
    });
}

std::string WebService::Login(const std::string& body) const
{
    RequestReader request(body);
    std::string user = request.Text("userName", true);
    std::string password = request.Text("passwd", true);
    if (!request.Ok()) {
        FarsideLog::Line("Login refused: " + request.Problem());
        return Failure(kBadRequest);
    }
    const Inventory::Account* account = inventory_.FindUser(user);
    if (!account || account->password != password) {
        FarsideLog::Line("Login user=" + Quoted(user) + " flag=0 (" +
                         (account ? "wrong password" : "unknown user") + ")");
        return Failure(kLoginRefused);
    }
    FarsideLog::Line("Login user=" + Quoted(user) +
                     " flag=1 accountsId=" + std::to_string(account->accountsId));
    JsonPtr reply(cJSON_CreateObject());
    cJSON_AddNumberToObject(reply.get(), "flag", 1);
    cJSON_AddStringToObject(reply.get(), "msg", kLoginOk);
    cJSON_AddNumberToObject(reply.get(), "orgId", account->orgId);
    cJSON_AddNumberToObject(reply.get(), "newRoleId", account->newRoleId);
    cJSON_AddNumberToObject(reply.get(), "accountsId", account->accountsId);
    return Print(reply.get());
}

std::string WebService::QueryGateway(const std::string& body) const
{
    RequestReader request(body);
    int roleId = request.Integer("roleId", true);
    int newRoleId = request.Integer("newRoleId", true);
    std::string gwSn = request.Text("gwSn", false);
    std::string gwName = request.Text("gwName", false);
    std::string nodeName = request.Text("nodeName", false);
    int accountsId = request.IntegerText("accountsId");
    bool filterOnline = false;
    int onlineType = request.Integer("onlineType", false, &filterOnline);
    if (filterOnline && onlineType != 0 && onlineType != 1)
        request.Note("onlineType is neither 0 nor 1");
    if (!request.Ok()) {
        FarsideLog::Line("QueryGateway refused: " + request.Problem());
        return Failure(kBadRequest);
    }
    std::string criteria = "accountsId=" + std::to_string(accountsId) + " roleId=" + std::to_string(roleId) +
                           " gwSn=" + Quoted(gwSn) + " gwName=" + Quoted(gwName) +
                           " nodeName=" + Quoted(nodeName) +
                           " onlineType=" + (filterOnline ? std::to_string(onlineType) : std::string("all"));
    const Inventory::Account* account = inventory_.FindAccount(accountsId);
    if (!account || account->newRoleId != newRoleId || account->newRoleId != roleId) {
        FarsideLog::Line("QueryGateway " + criteria + " flag=0 (no such account)");
        return Failure(kNoSuchAccount);
    }
    JsonPtr reply(cJSON_CreateObject());
    cJSON* list = cJSON_CreateArray();
    int count = 0;
    for (const Inventory::Gateway& gateway : account->gateways) {
        if (!Contains(gateway.gwSn, gwSn) || !Contains(gateway.gwName, gwName) ||
            !Contains(gateway.nodeName, nodeName))
            continue;
        if (filterOnline && gateway.Online() != (onlineType == 1))
            continue;
        cJSON* item = cJSON_CreateObject();
        cJSON_AddStringToObject(item, "gwSn", gateway.gwSn.c_str());
        AddOptionalText(item, "gwName", gateway.gwName);
        AddOptionalText(item, "nodeName", gateway.nodeName);
        if (gateway.isOnline)
            cJSON_AddBoolToObject(item, "isOnline", *gateway.isOnline);
        cJSON_AddItemToArray(list, item);
        ++count;
    }
    cJSON_AddNumberToObject(reply.get(), "flag", 1);
    cJSON_AddStringToObject(reply.get(), "msg", kQueryOk);
    cJSON_AddNumberToObject(reply.get(), "count", count);
    cJSON_AddItemToObject(reply.get(), "gwList", list);
    FarsideLog::Line("QueryGateway " + criteria + " flag=1 count=" + std::to_string(count));
    return Print(reply.get());
}

std::string WebService::QueryDeviceByGw(const std::string& body) const
{
    RequestReader request(body);
    int orgId = request.IntegerText("orgId");
    std::string gwSn = request.Text("gwSn", true);
    int accountsId = request.IntegerText("accountsId");
    if (!request.Ok()) {
        FarsideLog::Line("QueryDeviceByGw refused: " + request.Problem());
        return Failure(kBadRequest);
    }
    std::string criteria = "orgId=" + std::to_string(orgId) + " accountsId=" + std::to_string(accountsId) +
                           " gwSn=" + Quoted(gwSn);
    const Inventory::Account* account = inventory_.FindAccount(accountsId);
    if (!account || account->orgId != orgId) {
        FarsideLog::Line("QueryDeviceByGw " + criteria + " flag=0 (no such account)");
        return Failure(kNoSuchAccount);
    }
    const Inventory::Gateway* gateway = nullptr;
    for (const Inventory::Gateway& candidate : account->gateways) {
        if (candidate.gwSn == gwSn)
            gateway = &candidate;
    }
    if (!gateway) {
        FarsideLog::Line("QueryDeviceByGw " + criteria + " flag=0 (gateway not in this account)");
        return Failure(kForeignGateway);
    }
    JsonPtr reply(cJSON_CreateObject());
    cJSON* list = cJSON_CreateArray();
    for (const Inventory::Device& device : gateway->devices)
        cJSON_AddItemToArray(list, DeviceJson(device));
    cJSON_AddNumberToObject(reply.get(), "flag", 1);
    cJSON_AddStringToObject(reply.get(), "msg", kQueryOk);
    cJSON_AddNumberToObject(reply.get(), "count", static_cast<double>(gateway->devices.size()));
    cJSON_AddItemToObject(reply.get(), "devList", list);
    FarsideLog::Line("QueryDeviceByGw " + criteria +
                     " flag=1 count=" + std::to_string(gateway->devices.size()));
    return Print(reply.get());
}
