#pragma once

#include "cloud/CNodeDevice.h"
#include "cloud/CReplyBase.h"

#include <memory>
#include <vector>

// The devices are heap records (their address stays when the list moves on, as the
// views and tunnels keep pointers to them).
struct CDeviceListReply : CReplyBase
{
    std::vector<std::unique_ptr<CNodeDevice>> devices; // in reply order
    int count = 0;
};
