#include "cloud/CCloudClient.h"

#include "platform/TextCodec.h"

#include <cjson/cJSON.h>
#include <curl/curl.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

namespace {

// The process-wide endpoint: written once at start-up, read by every request.
std::string g_host;
int g_port = 0;
std::string g_scheme = "http://";

// A missing text is sent as an empty one.
const char* OrEmpty(const char* text)
{
    return text != nullptr ? text : "";
}

std::string PrintAndDelete(cJSON* root)
{
    std::string body;
    char* printed = cJSON_PrintUnformatted(root);
    if (printed != nullptr) {
        body = printed;
        cJSON_free(printed);
    }
    cJSON_Delete(root);
    return body;
}

// The inventory queries travel as UTF-8: local narrow text -> wide -> UTF-8.
std::string LocalToUtf8(const std::string& local)
{
    return TextCodec::WideToUtf8(TextCodec::LocalToWide(local));
}

// The reply body is UTF-8; it reaches the parser in the local narrow encoding.
cJSON* ParseReply(const std::string& reply)
{
    const std::string local = TextCodec::WideToLocal(TextCodec::Utf8ToWide(reply));
    return cJSON_Parse(local.c_str());
}

// Member look-up ignores the case of the name, as the service's members are
// matched throughout the program.
const cJSON* Item(const cJSON* object, const char* name)
{
    if (object == nullptr || !cJSON_IsObject(object))
        return nullptr;
    return cJSON_GetObjectItem(object, name);
}

// Reads a number member into `field`; an absent or wrongly typed member leaves it.
void ReadInt(const cJSON* object, const char* name, int* field)
{
    const cJSON* item = Item(object, name);
    if (cJSON_IsNumber(item))
        *field = item->valueint;
}

// Reads a string member; absent, null or wrongly typed members leave the field.
void ReadText(const cJSON* object, const char* name, QString* field)
{
    const cJSON* item = Item(object, name);
    if (cJSON_IsString(item) && item->valuestring != nullptr)
        *field = TextCodec::LocalToWide(item->valuestring);
}

void ReadText(const cJSON* object, const char* name, std::string* field)
{
    const cJSON* item = Item(object, name);
    if (cJSON_IsString(item) && item->valuestring != nullptr)
        *field = item->valuestring;
}

void ReadReplyBase(const cJSON* root, CReplyBase* reply)
{
    ReadInt(root, "flag", &reply->flag);
    ReadText(root, "msg", &reply->msg);
}

// The decimal value at the start of `text` (as atoi reads it), held to the int range.
int LeadingInt(const char* text)
{
    const long value = std::strtol(text, nullptr, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

// "protocol" is a string holding a number; a number sent in its place is taken as
// it is, any other type gives 0.
int ReadProtocol(const cJSON* item)
{
    if (cJSON_IsString(item) && item->valuestring != nullptr)
        return LeadingInt(item->valuestring);
    if (cJSON_IsNumber(item))
        return item->valueint;
    return 0;
}

CNodeDevice* MakeDevice(const cJSON* element)
{
    auto* device = new CNodeDevice;
    ReadInt(element, "deviceId", &device->deviceId);
    ReadText(element, "deviceName", &device->deviceName);
    ReadText(element, "deviceSn", &device->deviceSn);
    ReadText(element, "ifaceTypeName", &device->ifaceTypeName);
    // The value of "online" is not looked at: its presence next to a textual
    // interface name marks the device online.
    if (Item(element, "online") != nullptr && cJSON_IsString(Item(element, "ifaceTypeName")))
        device->online = 1;
    ReadText(element, "id", &device->id);
    ReadInt(element, "ifaceType", &device->ifaceType);
    ReadText(element, "ip", &device->ip);
    ReadInt(element, "port", &device->port);
    ReadText(element, "com", &device->com);
    ReadInt(element, "baud", &device->baud);
    ReadInt(element, "databit", &device->databit);
    ReadInt(element, "parity", &device->parity);
    ReadInt(element, "stopbit", &device->stopbit);
    ReadInt(element, "timeout", &device->timeout);
    const cJSON* protocol = Item(element, "protocol");
    if (protocol != nullptr)
        device->protocol = ReadProtocol(protocol);
    ReadInt(element, "tunType", &device->tunType);
    ReadInt(element, "tunConnectType", &device->tunConnectType);
    return device;
}

CNodeGateway MakeGateway(const cJSON* element)
{
    CNodeGateway gateway;
    ReadText(element, "gwSn", &gateway.gwSn);
    const cJSON* online = Item(element, "isOnline");
    if (online != nullptr)
        gateway.isOnline = cJSON_IsTrue(online) ? "true" : "false";
    ReadText(element, "gwName", &gateway.gwName);
    ReadText(element, "nodeName", &gateway.nodeName);
    return gateway;
}

} // namespace

void CCloudClient::SetEndpoint(const char* host, int port)
{
    g_host = OrEmpty(host);
    g_port = port;
    g_scheme = (port == 443 || port == 8443 || port == 10443) ? "https://" : "http://";
}

std::string CCloudClient::Host()
{
    return g_host;
}

int CCloudClient::Port()
{
    return g_port;
}

std::string CCloudClient::Scheme()
{
    return g_scheme;
}

std::string CCloudClient::BaseUrl()
{
    return g_scheme + g_host + ":" + std::to_string(g_port) + "/CommonService/";
}

size_t CCloudClient::WriteCallback(char* data, size_t size, size_t count, void* userdata)
{
    if (data == nullptr || userdata == nullptr)
        return static_cast<size_t>(-1);
    static_cast<std::string*>(userdata)->append(data, size * count);
    return count;
}

int CCloudClient::Post(const std::string& url, const std::string& body, std::string* reply)
{
    CURL* curl = curl_easy_init();
    if (curl == nullptr)
        return CURLE_FAILED_INIT;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, static_cast<curl_read_callback>(nullptr));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &CCloudClient::WriteCallback);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, static_cast<void*>(reply));
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 20L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 20L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
    const CURLcode result = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    return static_cast<int>(result);
}

std::string CCloudClient::BuildLoginBody(const char* userName, const char* passwd)
{
    cJSON* root = cJSON_CreateObject();
    cJSON_AddItemToObject(root, "userName", cJSON_CreateString(OrEmpty(userName)));
    cJSON_AddItemToObject(root, "passwd", cJSON_CreateString(OrEmpty(passwd)));
    return PrintAndDelete(root);
}

std::string CCloudClient::BuildQueryGatewayBody(const CAccountInfo& account, const char* gwSn,
                                                const char* gwName, const char* nodeName, int onlineType)
{
    char accountsId[16];
    std::snprintf(accountsId, sizeof accountsId, "%d", account.accountsId);
    cJSON* root = cJSON_CreateObject();
    cJSON_AddItemToObject(root, "roleId", cJSON_CreateNumber(account.newRoleId));
    cJSON_AddItemToObject(root, "newRoleId", cJSON_CreateNumber(account.newRoleId));
    cJSON_AddItemToObject(root, "gwSn", cJSON_CreateString(OrEmpty(gwSn)));
    cJSON_AddItemToObject(root, "gwName", cJSON_CreateString(OrEmpty(gwName)));
    cJSON_AddItemToObject(root, "nodeName", cJSON_CreateString(OrEmpty(nodeName)));
    cJSON_AddItemToObject(root, "accountsId", cJSON_CreateString(accountsId));
    if (onlineType == 1)
        cJSON_AddItemToObject(root, "onlineType", cJSON_CreateNumber(1));
    else if (onlineType == 2)
        cJSON_AddItemToObject(root, "onlineType", cJSON_CreateNumber(0));
    return LocalToUtf8(PrintAndDelete(root));
}

std::string CCloudClient::BuildQueryDeviceBody(int orgId, const char* gwSn, int accountsId)
{
    char orgText[16];
    char accountsText[16];
    std::snprintf(orgText, sizeof orgText, "%d", orgId);
    std::snprintf(accountsText, sizeof accountsText, "%d", accountsId);
    cJSON* root = cJSON_CreateObject();
    cJSON_AddItemToObject(root, "orgId", cJSON_CreateString(orgText));
    cJSON_AddItemToObject(root, "gwSn", cJSON_CreateString(OrEmpty(gwSn)));
    cJSON_AddItemToObject(root, "accountsId", cJSON_CreateString(accountsText));
    return LocalToUtf8(PrintAndDelete(root));
}

CAccountInfo CCloudClient::ParseLoginReply(const std::string& reply)
{
    CAccountInfo info;
    cJSON* root = ParseReply(reply);
    if (root == nullptr)
        return info;
    ReadReplyBase(root, &info);
    ReadInt(root, "orgId", &info.orgId);
    ReadInt(root, "newRoleId", &info.newRoleId);
    ReadInt(root, "accountsId", &info.accountsId);
    cJSON_Delete(root);
    return info;
}

CGatewayListReply CCloudClient::ParseGatewayListReply(const std::string& reply)
{
    CGatewayListReply list;
    cJSON* root = ParseReply(reply);
    if (root == nullptr)
        return list;
    ReadReplyBase(root, &list);
    ReadInt(root, "count", &list.count);
    const cJSON* array = Item(root, "gwList");
    if (cJSON_IsArray(array)) {
        const int size = cJSON_GetArraySize(array);
        for (int i = 0; i < size; ++i)
            list.gateways.push_back(MakeGateway(cJSON_GetArrayItem(array, i)));
    }
    cJSON_Delete(root);
    return list;
}

CDeviceListReply CCloudClient::ParseDeviceListReply(const std::string& reply)
{
    CDeviceListReply list;
    cJSON* root = ParseReply(reply);
    if (root == nullptr)
        return list;
    ReadReplyBase(root, &list);
    ReadInt(root, "count", &list.count);
    const cJSON* array = Item(root, "devList");
    if (cJSON_IsArray(array)) {
        const int size = cJSON_GetArraySize(array);
        for (int i = 0; i < size; ++i)
            list.devices.push_back(MakeDevice(cJSON_GetArrayItem(array, i)));
    }
    cJSON_Delete(root);
    return list;
}

CAccountInfo CCloudClient::Login(const char* userName, const char* passwd)
{
    std::string reply;
    Post(BaseUrl() + "Login", BuildLoginBody(userName, passwd), &reply);
    return ParseLoginReply(reply);
}

CGatewayListReply CCloudClient::QueryGateway(const CAccountInfo& account, const char* gwSn,
                                             const char* gwName, const char* nodeName, int onlineType)
{
    std::string reply;
    Post(BaseUrl() + "QueryGateway", BuildQueryGatewayBody(account, gwSn, gwName, nodeName, onlineType),
         &reply);
    return ParseGatewayListReply(reply);
}

CDeviceListReply CCloudClient::QueryDeviceByGw(int orgId, const char* gwSn, int accountsId)
{
    std::string reply;
    Post(BaseUrl() + "QueryDeviceByGw", BuildQueryDeviceBody(orgId, gwSn, accountsId), &reply);
    return ParseDeviceListReply(reply);
}
