#pragma once

#include <cjson/cJSON.h>

#include <memory>
#include <string>

// Posts bodies to the far side's web service with a plain HTTP client (not the
// Lumetra client), so tests see the reply exactly as it goes over the wire.
class RawService
{
public:
    struct Reply
    {
        bool transportOk = false;
        int status = 0;
        std::string contentType;
        std::string body;
        std::shared_ptr<cJSON> json; // null when the body is not JSON

        // Member look-ups for assertions (null when absent).
        const cJSON* Member(const char* name) const;
        std::string Text(const char* name) const;
        int Flag() const;
    };

    // `baseUrl` as printed by the service, e.g. http://127.0.0.1:18080
    explicit RawService(std::string baseUrl) : baseUrl_(std::move(baseUrl)) {}

    // POST `body` to /CommonService/<action>.
    Reply Post(const std::string& action, const std::string& body) const;

private:
    std::string baseUrl_;
};
