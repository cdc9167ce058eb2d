#include "cloud/CCloudClient.h"

#include "app/JsonPtr.h"
#include "cloud/ReplyWalker.h"
#include "platform/OffUiThread.h"
#include "platform/TextCodec.h"

#include <cjson/cJSON.h>
#include <curl/curl.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

// A missing text is sent as an empty one.
const char* OrEmpty(const char* text)
{
    return text != nullptr ? text : "";
}

std::string Print(const JsonPtr& root)
{
    const JsonText printed(cJSON_PrintUnformatted(root.get()));
    return printed != nullptr ? std::string(printed.get()) : std::string();
}

// The inventory queries travel as UTF-8: local narrow text -> wide -> UTF-8.
std::string LocalToUtf8(const std::string& local)
{
    return platform::TextCodec::WideToUtf8(platform::TextCodec::LocalToWide(local));
}

// The reply body is UTF-8; it reaches the parser in the local narrow encoding. The
// local encoding is UTF-8 as well, so the conversion changes a valid body only by
// dropping one leading byte-order mark: such a body is read where it is (no copy of
// a large reply). Only a body with invalid sequences goes through the conversion,
// which replaces them. `read` gets the text the parser sees.
template <typename Read> bool WithReplyText(const std::string& reply, Read read)
{
    if (platform::TextCodec::IsValidUtf8(reply)) {
        const size_t skip = reply.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
        return read(reply.c_str() + skip);
    }
    const std::string local = platform::TextCodec::WideToLocal(platform::TextCodec::Utf8ToWide(reply));
    return read(local.c_str());
}

// Member look-up ignores the case of the name, as the service's members are
// matched throughout the program.
const cJSON* Item(const cJSON* object, const char* name)
{
    if (object == nullptr || !cJSON_IsObject(object))
        return nullptr;
    return cJSON_GetObjectItem(object, name);
}

// Reads a number into `field`; an absent or wrongly typed value leaves it.
void ReadIntValue(const cJSON* item, int* field)
{
    if (cJSON_IsNumber(item))
        *field = item->valueint;
}

// Reads a string; absent, null or wrongly typed values leave the field.
void ReadTextValue(const cJSON* item, QString* field)
{
    if (cJSON_IsString(item) && item->valuestring != nullptr)
        *field = platform::TextCodec::LocalToWide(item->valuestring);
}

void ReadInt(const cJSON* object, const char* name, int* field)
{
    ReadIntValue(Item(object, name), field);
}

void ReadText(const cJSON* object, const char* name, QString* field)
{
    ReadTextValue(Item(object, name), field);
}

void ReadText(const cJSON* object, const char* name, std::string* field)
{
    const cJSON* item = Item(object, name);
    if (cJSON_IsString(item) && item->valuestring != nullptr)
        *field = item->valuestring;
}

// The members every reply starts with, and those of each reply, in the order the
// walk reports them.
enum BaseMember
{
    kFlag,
    kMsg,
    kFirstOwnMember
};

void ReadBaseMember(size_t index, const cJSON* value, CReplyBase* reply)
{
    if (index == kFlag)
        ReadIntValue(value, &reply->flag);
    else if (index == kMsg)
        ReadTextValue(value, &reply->msg);
}

// A list reply with more entries than this is refused as a whole, like a reply
// past the size limit.
void ReportTooManyEntries(const char* listName)
{
    std::fprintf(stderr, "web service reply refused: more than %zu entries in \"%s\"\n",
                 CCloudClient::kMaxListEntries, listName);
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

std::unique_ptr<CNodeDevice> MakeDevice(const cJSON* element)
{
    auto device = std::make_unique<CNodeDevice>();
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

CCloudClient::CCloudClient(const char* host, int port)
    : host_(OrEmpty(host)), port_(port),
      scheme_((port == 443 || port == 8443 || port == 10443) ? "https://" : "http://")
{
}

std::string CCloudClient::BaseUrl() const
{
    return scheme_ + host_ + ":" + std::to_string(port_) + "/CommonService/";
}

size_t CCloudClient::WriteCallback(char* data, size_t size, size_t count, void* userdata)
{
    auto* sink = static_cast<ReplySink*>(userdata);
    if (data == nullptr || sink == nullptr || sink->reply == nullptr)
        return static_cast<size_t>(-1);
    std::string& reply = *sink->reply;
    const size_t bytes = size * count;
    const size_t received = reply.size() - sink->start;
    if (bytes > kMaxReplyBytes - received) {
        // Too large: nothing of this reply is kept, and libcurl ends the transfer
        // with a write error because fewer bytes were taken than offered.
        sink->tooLarge = true;
        reply.resize(sink->start);
        reply.shrink_to_fit();
        return 0;
    }
    if (received == 0 && sink->handle != nullptr) {
        // Room for the announced length at once, so the buffer is not grown (and
        // copied) step by step; the length was checked against the limit already.
        curl_off_t announced = -1;
        if (curl_easy_getinfo(static_cast<CURL*>(sink->handle), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T,
                              &announced) == CURLE_OK &&
            announced > 0 && static_cast<unsigned long long>(announced) <= kMaxReplyBytes)
            reply.reserve(sink->start + static_cast<size_t>(announced));
    }
    reply.append(data, bytes);
    return count;
}

int CCloudClient::Post(const std::string& url, const std::string& body, std::string* reply)
{
    CURL* curl = curl_easy_init();
    if (curl == nullptr)
        return CURLE_FAILED_INIT;
    ReplySink sink;
    sink.reply = reply;
    sink.start = reply != nullptr ? reply->size() : 0;
    sink.handle = curl;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, static_cast<curl_read_callback>(nullptr));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &CCloudClient::WriteCallback);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, static_cast<void*>(reply != nullptr ? &sink : nullptr));
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 20L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 20L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
    // A reply announced as larger than the limit is refused before its body is read.
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxReplyBytes));
    // The request runs on a thread of its own; the window keeps painting meanwhile.
    CURLcode result = CURLE_OK;
    platform::RunOffUiThread([&result, curl] { result = curl_easy_perform(curl); });
    curl_easy_cleanup(curl);
    if (sink.tooLarge || result == CURLE_FILESIZE_EXCEEDED)
        std::fprintf(stderr, "web service reply from %s refused: more than %zu bytes\n", url.c_str(),
                     kMaxReplyBytes);
    return static_cast<int>(result);
}

std::string CCloudClient::BuildLoginBody(const char* userName, const char* passwd)
{
    const JsonPtr root(cJSON_CreateObject());
    cJSON_AddItemToObject(root.get(), "userName", cJSON_CreateString(OrEmpty(userName)));
    cJSON_AddItemToObject(root.get(), "passwd", cJSON_CreateString(OrEmpty(passwd)));
    return Print(root);
}

std::string CCloudClient::BuildQueryGatewayBody(const CAccountInfo& account, const char* gwSn,
                                                const char* gwName, const char* nodeName, int onlineType)
{
    char accountsId[16];
    std::snprintf(accountsId, sizeof accountsId, "%d", account.accountsId);
    const JsonPtr root(cJSON_CreateObject());
    cJSON_AddItemToObject(root.get(), "roleId", cJSON_CreateNumber(account.newRoleId));
    cJSON_AddItemToObject(root.get(), "newRoleId", cJSON_CreateNumber(account.newRoleId));
    cJSON_AddItemToObject(root.get(), "gwSn", cJSON_CreateString(OrEmpty(gwSn)));
    cJSON_AddItemToObject(root.get(), "gwName", cJSON_CreateString(OrEmpty(gwName)));
    cJSON_AddItemToObject(root.get(), "nodeName", cJSON_CreateString(OrEmpty(nodeName)));
    cJSON_AddItemToObject(root.get(), "accountsId", cJSON_CreateString(accountsId));
    if (onlineType == 1)
        cJSON_AddItemToObject(root.get(), "onlineType", cJSON_CreateNumber(1));
    else if (onlineType == 2)
        cJSON_AddItemToObject(root.get(), "onlineType", cJSON_CreateNumber(0));
    return LocalToUtf8(Print(root));
}

std::string CCloudClient::BuildQueryDeviceBody(int orgId, const char* gwSn, int accountsId)
{
    char orgText[16];
    char accountsText[16];
    std::snprintf(orgText, sizeof orgText, "%d", orgId);
    std::snprintf(accountsText, sizeof accountsText, "%d", accountsId);
    const JsonPtr root(cJSON_CreateObject());
    cJSON_AddItemToObject(root.get(), "orgId", cJSON_CreateString(orgText));
    cJSON_AddItemToObject(root.get(), "gwSn", cJSON_CreateString(OrEmpty(gwSn)));
    cJSON_AddItemToObject(root.get(), "accountsId", cJSON_CreateString(accountsText));
    return LocalToUtf8(Print(root));
}

CAccountInfo CCloudClient::ParseLoginReply(const std::string& reply)
{
    CAccountInfo info;
    const bool whole = WithReplyText(reply, [&](const char* text) {
        return ReplyWalker::Walk(
            text, {"flag", "msg", "orgId", "newRoleId", "accountsId"}, nullptr,
            [&](size_t index, const cJSON* value) {
                ReadBaseMember(index, value, &info);
                if (index == kFirstOwnMember)
                    ReadIntValue(value, &info.orgId);
                else if (index == kFirstOwnMember + 1)
                    ReadIntValue(value, &info.newRoleId);
                else if (index == kFirstOwnMember + 2)
                    ReadIntValue(value, &info.accountsId);
            },
            [](const cJSON*) { return true; });
    });
    return whole ? info : CAccountInfo();
}

// The lists are read element by element as the walk hands them over: no tree of the
// whole reply is made, and each element is looked at once. The base members and
// "count" go into `list`, each element of `listName` to `add` while fewer than
// kMaxListEntries were taken. False when the reply is not whole or the list too long.
template <typename Reply, typename Add>
static bool WalkListReply(const std::string& reply, const char* listName, Reply* list, Add add)
{
    size_t taken = 0;
    bool tooMany = false;
    const bool whole = WithReplyText(reply, [&](const char* text) {
        return ReplyWalker::Walk(
            text, {"flag", "msg", "count"}, listName,
            [&](size_t index, const cJSON* value) {
                ReadBaseMember(index, value, list);
                if (index == kFirstOwnMember)
                    ReadIntValue(value, &list->count);
            },
            [&](const cJSON* element) {
                tooMany = taken >= CCloudClient::kMaxListEntries;
                if (!tooMany) {
                    add(element);
                    ++taken;
                }
                return !tooMany;
            });
    });
    if (tooMany)
        ReportTooManyEntries(listName);
    return whole;
}

CGatewayListReply CCloudClient::ParseGatewayListReply(const std::string& reply)
{
    CGatewayListReply list;
    const bool whole = WalkListReply(
        reply, "gwList", &list, [&](const cJSON* element) { list.gateways.push_back(MakeGateway(element)); });
    if (!whole)
        return CGatewayListReply();
    return list;
}

CDeviceListReply CCloudClient::ParseDeviceListReply(const std::string& reply)
{
    CDeviceListReply list;
    const bool whole = WalkListReply(
        reply, "devList", &list, [&](const cJSON* element) { list.devices.push_back(MakeDevice(element)); });
    if (!whole)
        return CDeviceListReply();
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
