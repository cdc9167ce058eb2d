#pragma once

#include "cloud/CAccountInfo.h"
#include "cloud/CDeviceListReply.h"
#include "cloud/CGatewayListReply.h"

#include <cstddef>
#include <string>

// The cloud web service client: its endpoint, blocking HTTP POST requests through
// libcurl, and the account and inventory operations. The program's start-up makes
// one from the installation's "wsh"/"wsp" and hands it down; the endpoint never
// changes afterwards.
class CCloudClient
{
public:
    // No endpoint (empty host, port 0, "http://"): only Post to a full URL works.
    CCloudClient() = default;
    // The scheme is "https://" for ports 443, 8443 and 10443, "http://" otherwise. A
    // null host is an empty one.
    CCloudClient(const char* host, int port);

    const std::string& Host() const { return host_; }
    int Port() const { return port_; }
    const std::string& Scheme() const { return scheme_; }
    // scheme + host + ":" + port + "/CommonService/"
    std::string BaseUrl() const;

    // The most a reply body may hold. A reply announced as larger is not fetched; one
    // that grows past it while it arrives is cut off at once. Either way the call
    // fails like any other (libcurl's code is returned, and the reply buffer holds
    // nothing of this reply), so the operations below give their defaults.
    static constexpr size_t kMaxReplyBytes = 16 * 1024 * 1024;

    // Posts `body` to `url` and appends the reply body to `reply`. Returns the
    // libcurl result code (0 on success, 2 when no handle could be made). At most
    // 20 s for the connect phase and 20 s in all; certificates are not verified.
    int Post(const std::string& url, const std::string& body, std::string* reply);

    // Where the write callback puts a reply: the caller's buffer, what it held
    // before this reply, and the libcurl handle (to read the announced length).
    struct ReplySink
    {
        std::string* reply = nullptr;
        size_t start = 0;
        void* handle = nullptr;
        bool tooLarge = false;
    };
    // libcurl write callback: appends to the ReplySink at `userdata`. Past
    // kMaxReplyBytes it drops what this reply added and ends the transfer.
    static size_t WriteCallback(char* data, size_t size, size_t count, void* userdata);

    CAccountInfo Login(const char* userName, const char* passwd);
    // onlineType 1: online gateways only, 2: offline only, anything else: all.
    CGatewayListReply QueryGateway(const CAccountInfo& account, const char* gwSn, const char* gwName,
                                   const char* nodeName, int onlineType);
    CDeviceListReply QueryDeviceByGw(int orgId, const char* gwSn, int accountsId);

    // The most entries a gateway or device list reply may hold; a reply with more is
    // refused like one past the size limit (the records would take far more memory
    // than the reply's text).
    static constexpr size_t kMaxListEntries = 250000;

    // Request bodies and reply parsing, as the operations above use them. A reply
    // that is not one JSON object, or a list reply with more than kMaxListEntries
    // entries, gives the record's defaults (flag 0, msg "调用失败", no entries).
    static std::string BuildLoginBody(const char* userName, const char* passwd);
    static std::string BuildQueryGatewayBody(const CAccountInfo& account, const char* gwSn,
                                             const char* gwName, const char* nodeName, int onlineType);
    static std::string BuildQueryDeviceBody(int orgId, const char* gwSn, int accountsId);
    static CAccountInfo ParseLoginReply(const std::string& reply);
    static CGatewayListReply ParseGatewayListReply(const std::string& reply);
    static CDeviceListReply ParseDeviceListReply(const std::string& reply);

private:
    std::string host_;
    int port_ = 0;
    std::string scheme_ = "http://";
};
