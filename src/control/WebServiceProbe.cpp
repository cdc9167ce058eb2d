#include "control/WebServiceProbe.h"

#include "app/WebEndpoint.h"
#include "cloud/CCloudClient.h"
#include "platform/TextCodec.h"

#include <curl/curl.h>

#include <chrono>
#include <memory>

namespace {

// The most of a reply the check keeps (a login reply is far smaller).
constexpr size_t kMaxProbeReply = 256 * 1024;

struct CurlDeleter
{
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

size_t KeepReply(char* data, size_t size, size_t count, void* userdata)
{
    auto* reply = static_cast<std::string*>(userdata);
    const size_t bytes = size * count;
    if (reply->size() + bytes > kMaxProbeReply)
        return 0; // ends the transfer with a write error
    reply->append(data, bytes);
    return bytes;
}

struct Exchange
{
    CURLcode code = CURLE_OK;
    long status = 0;    // HTTP status, 0 without an answer
    std::string error;  // libcurl's text for a failure
    std::string reply;  // the body
    std::string expiry; // the server certificate's "Expire date" when asked for
    long long ms = 0;
};

// One request: a POST of `body` when given, else a GET; certificates verified only
// when `verify` (then their details are collected).
Exchange Perform(const std::string& url, const std::string* body, bool verify, int timeoutMs)
{
    Exchange exchange;
    const auto start = std::chrono::steady_clock::now();
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
        exchange.code = CURLE_FAILED_INIT;
        exchange.error = "libcurl could not start";
        return exchange;
    }
    char errorBuffer[CURL_ERROR_SIZE] = {};
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    if (body != nullptr) {
        curl_easy_setopt(handle, CURLOPT_POST, 1L);
        curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body->c_str());
    }
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &KeepReply);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, static_cast<void*>(&exchange.reply));
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeoutMs));
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(timeoutMs));
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, verify ? 1L : 0L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, verify ? 2L : 0L);
    if (verify)
        curl_easy_setopt(handle, CURLOPT_CERTINFO, 1L);
    exchange.code = curl_easy_perform(handle);
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &exchange.status);
    if (exchange.code != CURLE_OK)
        exchange.error = errorBuffer[0] != '\0' ? errorBuffer : curl_easy_strerror(exchange.code);
    if (verify && exchange.code == CURLE_OK) {
        curl_certinfo* certificates = nullptr;
        if (curl_easy_getinfo(handle, CURLINFO_CERTINFO, &certificates) == CURLE_OK &&
            certificates != nullptr && certificates->num_of_certs > 0) {
            static constexpr char kExpire[] = "Expire date:";
            for (curl_slist* item = certificates->certinfo[0]; item != nullptr; item = item->next) {
                const std::string line = item->data != nullptr ? item->data : "";
                if (line.compare(0, sizeof kExpire - 1, kExpire) == 0)
                    exchange.expiry = line.substr(sizeof kExpire - 1);
            }
        }
    }
    exchange.ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
            .count();
    return exchange;
}

} // namespace

WebServiceProbe::WebServiceProbe(const WebEndpoint& endpoint)
    : host_(endpoint.host), port_(endpoint.port),
      configured_(endpoint.hostPresent && !endpoint.host.empty() && endpoint.port > 0 &&
                  endpoint.port <= 65535)
{
}

bool WebServiceProbe::Secure() const
{
    return CCloudClient(host_.c_str(), port_).Scheme() == "https://";
}

std::string WebServiceProbe::Target() const
{
    return host_ + ":" + std::to_string(port_);
}

PreflightResult WebServiceProbe::Answer(int timeoutMs) const
{
    PreflightResult result;
    result.name = "web service";
    result.target = Target();
    if (!configured_) {
        result.detail = "the installation names no web service (\"wsh\", \"wsp\")";
        result.fix = "reinstall the program with its custom_resource/platconf";
        return result;
    }
    const Exchange exchange =
        Perform(CCloudClient(host_.c_str(), port_).BaseUrl(), nullptr, false, timeoutMs);
    result.ms = exchange.ms;
    result.ok = exchange.status > 0;
    if (result.ok) {
        result.detail = "HTTP " + std::to_string(exchange.status);
    } else {
        result.detail = exchange.error;
        result.fix = "check the network and that the web service at " + Target() +
                     " runs; a firewall or proxy may block it";
    }
    return result;
}

PreflightResult WebServiceProbe::Certificate(int timeoutMs) const
{
    PreflightResult result;
    result.name = "TLS certificate";
    result.target = Target();
    result.needed = false;
    const Exchange exchange = Perform(CCloudClient(host_.c_str(), port_).BaseUrl(), nullptr, true, timeoutMs);
    result.ms = exchange.ms;
    result.ok = exchange.code == CURLE_OK;
    if (result.ok) {
        result.detail = exchange.expiry.empty() ? "verified" : "verified, expires " + exchange.expiry;
    } else {
        result.detail = exchange.error;
        result.fix = "give the web service a valid certificate from a trusted authority (the client works "
                     "without one, but cannot tell the service from an impostor)";
    }
    return result;
}

PreflightResult WebServiceProbe::SignIn(const std::string& user, const std::string& password,
                                        int timeoutMs) const
{
    PreflightResult result;
    result.name = "sign-in";
    result.target = user;
    const std::string body = CCloudClient::BuildLoginBody(user.c_str(), password.c_str());
    const Exchange exchange =
        Perform(CCloudClient(host_.c_str(), port_).BaseUrl() + "Login", &body, false, timeoutMs);
    result.ms = exchange.ms;
    if (exchange.code != CURLE_OK) {
        result.detail = exchange.error;
        result.fix = "the web service must answer first (see above)";
        return result;
    }
    const CAccountInfo reply = CCloudClient::ParseLoginReply(exchange.reply);
    result.ok = reply.flag != 0;
    if (result.ok) {
        result.detail = "accountsId " + std::to_string(reply.accountsId);
    } else {
        result.detail = platform::TextCodec::WideToLocal(reply.msg);
        result.fix = "sign in again with the right user name and password (lumetra-cli login USER)";
    }
    return result;
}
