#pragma once

#include "cloud/CAccountInfo.h"
#include "cloud/CCloudClient.h"

#include <cstddef>
#include <memory>
#include <vector>

class CNodeGateway;
struct GatewayInfo;

// One run of the program against the web service: the client of its endpoint, the
// current account once a login succeeded, and the gateway records handed to the
// views. The window's and the command line's start-up each make one and hand it
// down; nothing else holds this state.
class Session
{
public:
    explicit Session(CCloudClient cloud);
    // Frees the kept gateway records with their devices. The tunnels of the records
    // (the gateway detail controller's) must be gone by then.
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    CCloudClient& Cloud() { return cloud_; }

    // The current account, or null before the first successful login.
    const CAccountInfo* Account() const { return account_.get(); }
    // Makes the current account on first use and copies orgId, newRoleId, accountsId
    // and the user name from the login reply (not msg and flag); the record stays
    // the same object for the rest of the session.
    void SetAccount(const CAccountInfo& loginReply);

    // Keeps a record made from `gateway` for the rest of the session and returns it:
    // the views pass these records around (tree items, the detail view), so one
    // stays valid while a later list replaces the one it came from.
    CNodeGateway* KeepGateway(const GatewayInfo& gateway);
    // Room for `more` records to come.
    void ReserveGateways(size_t more);

private:
    CCloudClient cloud_;
    std::unique_ptr<CAccountInfo> account_;
    std::vector<std::unique_ptr<CNodeGateway>> gateways_;
};
