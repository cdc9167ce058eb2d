#pragma once

#include "cloud/CNodeDevice.h"
#include "cloud/CReplyBase.h"

#include <vector>

// The devices are heap records; whoever takes the list owns them.
struct CDeviceListReply : CReplyBase
{
    std::vector<CNodeDevice*> devices; // in reply order
    int count = 0;
};
