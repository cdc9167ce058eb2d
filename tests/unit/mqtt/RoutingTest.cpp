// The routing step of tunnel traffic: the first active tunnel that matches the
// message's gateway and device serials receives it with its routing code.

#include "mqtt-c/TunnelRouting.h"
#include "platform/WindowMessages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <list>
#include <string>
#include <vector>

namespace {

// A tunnel as the routing step sees it; it serves one device, or a whole gateway
// when its device serial is empty.
struct RoutedTunnel
{
    std::string gwSn;
    std::string devSn;
    std::vector<int> codes;
    std::recursive_mutex* lock = nullptr;
    bool lockHeld = false;

    bool Match(const char* gw, const char* dev) const
    {
        if (devSn.empty()) {
            return gwSn == gw;
        }
        return dev != nullptr && gwSn == gw && devSn == dev;
    }
    void OnMessage(cJSON*, int code)
    {
        codes.push_back(code);
        // The list lock is held and can be taken again on this thread.
        lockHeld = lock->try_lock();
        if (lockHeld) {
            lock->unlock();
        }
    }
};

cJSON* Parse(const char* json)
{
    return cJSON_Parse(json);
}

TEST(RouteTunnelMessage, FirstMatchingTunnelReceivesTheCode)
{
    std::recursive_mutex lock;
    RoutedTunnel first{"GW1", "D1", {}, &lock};
    RoutedTunnel second{"GW1", "D1", {}, &lock};
    RoutedTunnel other{"GW1", "D2", {}, &lock};
    const std::list<RoutedTunnel*> active = {&other, &first, &second};

    cJSON* message = Parse("{\"cmdId\":2993,\"gw_sn\":\"GW1\",\"dev_sn\":\"D1\"}");
    RouteTunnelMessage(message, WM_USER + 1041, lock, active);
    cJSON_Delete(message);

    EXPECT_EQ(first.codes, std::vector<int>{static_cast<int>(WM_USER + 1041)});
    EXPECT_TRUE(first.lockHeld);
    EXPECT_TRUE(second.codes.empty());
    EXPECT_TRUE(other.codes.empty());
}

TEST(RouteTunnelMessage, MissingSerialsAndNoMatchDropTheMessage)
{
    std::recursive_mutex lock;
    RoutedTunnel device{"GW1", "D1", {}, &lock};
    RoutedTunnel gateway{"GW2", "", {}, &lock};
    const std::vector<RoutedTunnel*> active = {&device, &gateway};

    const char* dropped[] = {"{\"cmdId\":2980,\"dev_sn\":\"D1\"}", "{\"cmdId\":2980,\"gw_sn\":\"GW1\"}",
                             "{\"cmdId\":2980,\"gw_sn\":\"GW9\",\"dev_sn\":\"D1\"}",
                             "{\"cmdId\":2980,\"gw_sn\":7,\"dev_sn\":\"D1\"}"};
    for (const char* json : dropped) {
        cJSON* message = Parse(json);
        RouteTunnelMessage(message, WM_USER + 1047, lock, active);
        cJSON_Delete(message);
    }
    RouteTunnelMessage(nullptr, WM_USER + 1047, lock, active);
    EXPECT_TRUE(device.codes.empty());
    EXPECT_TRUE(gateway.codes.empty());

    // A tunnel that serves a whole gateway matches without a device serial.
    cJSON* message = Parse("{\"cmdId\":3003,\"gw_sn\":\"GW2\"}");
    RouteTunnelMessage(message, WM_USER + 1039, lock, active);
    cJSON_Delete(message);
    EXPECT_EQ(gateway.codes, std::vector<int>{static_cast<int>(WM_USER + 1039)});
}

} // namespace
