#pragma once

#include "cloud/CDeviceListReply.h"
#include "cloud/CNodeGateway.h"

#include <QString>

#include <string>
#include <vector>

class Session;

// The inventory of the session's account, for the gateway tree, the detail view and
// the command line alike: the gateway list (all of it, or a search) and the devices
// behind one gateway.
class GatewayQuery
{
public:
    // The online filter of Search.
    enum Online
    {
        kAll = 0,
        kOnlineOnly = 1,
        kOfflineOnly = 2,
    };

    explicit GatewayQuery(Session& session);

    // Asks the service for the account's gateways matching the criteria, each of
    // which may be empty and goes to the service as given (local narrow text), and
    // keeps the list. False without a current account (the list is then empty) or
    // when the service refused; Failure() then holds the service's msg.
    bool Search(const std::string& serial, const std::string& name, const std::string& node,
                Online online = kAll);
    bool Succeeded() const { return succeeded_; }
    // The list of the last Search, in reply order.
    const std::vector<CNodeGateway>& Gateways() const { return gateways_; }
    const QString& Failure() const { return failure_; }

    // The devices behind gateway `gwSn`; the session must have a current account.
    // The reply's device records go to the caller.
    CDeviceListReply Devices(const std::string& gwSn) const;

private:
    Session& session_;
    std::vector<CNodeGateway> gateways_;
    bool succeeded_ = false;
    QString failure_;
};
