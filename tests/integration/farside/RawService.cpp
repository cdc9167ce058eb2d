#include "RawService.h"

#include <httplib.h>

const cJSON* RawService::Reply::Member(const char* name) const
{
    return json ? cJSON_GetObjectItemCaseSensitive(json.get(), name) : nullptr;
}

std::string RawService::Reply::Text(const char* name) const
{
    const cJSON* item = Member(name);
    return cJSON_IsString(item) ? item->valuestring : "<no string " + std::string(name) + ">";
}

int RawService::Reply::Flag() const
{
    const cJSON* item = Member("flag");
    return cJSON_IsNumber(item) ? item->valueint : -1;
}

RawService::Reply RawService::Post(const std::string& action, const std::string& body) const
{
    Reply reply;
    httplib::Client client(baseUrl_);
    client.enable_server_certificate_verification(false);
    client.set_connection_timeout(10);
    client.set_read_timeout(10);
    auto result = client.Post(("/CommonService/" + action).c_str(), body, "application/json");
    if (!result)
        return reply;
    reply.transportOk = true;
    reply.status = result->status;
    reply.contentType = result->get_header_value("Content-Type");
    reply.body = result->body;
    reply.json.reset(cJSON_Parse(reply.body.c_str()), &cJSON_Delete);
    return reply;
}
