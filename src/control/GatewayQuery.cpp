#include "control/GatewayQuery.h"

#include "cloud/CAccountInfo.h"
#include "control/Session.h"

#include <utility>

GatewayQuery::GatewayQuery(Session& session) : session_(session) {}

bool GatewayQuery::Search(const std::string& serial, const std::string& name, const std::string& node,
                          Online online)
{
    failure_.clear();
    const CAccountInfo* account = session_.Account();
    if (account == nullptr) {
        gateways_.clear();
        succeeded_ = false;
        return false;
    }
    CGatewayListReply reply =
        session_.Cloud().QueryGateway(*account, serial.c_str(), name.c_str(), node.c_str(), online);
    gateways_ = std::move(reply.gateways);
    succeeded_ = reply.flag != 0;
    if (!succeeded_)
        failure_ = reply.msg;
    return succeeded_;
}

CDeviceListReply GatewayQuery::Devices(const std::string& gwSn) const
{
    const CAccountInfo& account = *session_.Account();
    return session_.Cloud().QueryDeviceByGw(account.orgId, gwSn.c_str(), account.accountsId);
}
