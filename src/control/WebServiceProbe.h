#pragma once

#include "control/PreflightResult.h"

#include <string>

struct WebEndpoint;

// The web service part of the pre-flight check, with libcurl on the calling thread and
// every request bounded by the time given: whether the service answers at all, its TLS
// certificate when the port selects HTTPS, and whether it accepts an account.
class WebServiceProbe
{
public:
    explicit WebServiceProbe(const WebEndpoint& endpoint);

    // Whether the endpoint is configured ("wsh" and a port from 1 to 65535).
    bool Configured() const { return configured_; }
    // Whether the port selects HTTPS (as the client decides it).
    bool Secure() const;
    // "host:port"
    std::string Target() const;

    // Any HTTP answer of the service (certificates not verified, as the client does).
    PreflightResult Answer(int timeoutMs) const;
    // The certificate verified against the system's certificate authorities, with its
    // expiry date. Only for an HTTPS port. The client itself does not verify the
    // certificate, so a failure here is a warning.
    PreflightResult Certificate(int timeoutMs) const;
    // The service's Login with `user` and `password` (texts as the client sends them):
    // passes when the reply's flag is set; else the reply's msg.
    PreflightResult SignIn(const std::string& user, const std::string& password, int timeoutMs) const;

private:
    std::string host_;
    int port_ = 0;
    bool configured_ = false;
};
