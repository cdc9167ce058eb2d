#include "control/Session.h"

#include "cloud/CNodeGateway.h"

#include <utility>

Session::Session(CCloudClient cloud) : cloud_(std::move(cloud)) {}

Session::~Session() = default;

void Session::SetAccount(const CAccountInfo& loginReply)
{
    if (!account_)
        account_ = std::make_unique<CAccountInfo>();
    account_->orgId = loginReply.orgId;
    account_->newRoleId = loginReply.newRoleId;
    account_->accountsId = loginReply.accountsId;
    account_->userName = loginReply.userName;
}

CNodeGateway* Session::KeepGateway(const GatewayInfo& gateway)
{
    gateways_.push_back(std::make_unique<CNodeGateway>(gateway));
    return gateways_.back().get();
}

void Session::ReserveGateways(size_t more)
{
    gateways_.reserve(gateways_.size() + more);
}
