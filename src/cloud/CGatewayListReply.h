#pragma once

#include "cloud/CNodeGateway.h"
#include "cloud/CReplyBase.h"

#include <vector>

struct CGatewayListReply : CReplyBase
{
    std::vector<CNodeGateway> gateways; // in reply order
    int count = 0;
};
