// The list of running tunnels on its own: one entry per serial pair, and a list that
// stays whole while the UI thread changes it and another thread reads it.

#include "control/ActiveTunnelList.h"
#include "cloud/CNodeDevice.h"
#include "cloud/CNodeGateway.h"
#include "tunnel/CDataTunnel.h"
#include "tunnel/TunnelFactory.h"

#include <gtest/gtest.h>

#include <QString>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

// Port-forward tunnels of devices D0, D1, ... behind one gateway; made, not started.
class Tunnels
{
public:
    explicit Tunnels(int count)
    {
        gateway_.gwSn = "GW-LIST";
        for (int i = 0; i < count; ++i) {
            devices_.push_back(std::make_unique<CNodeDevice>());
            devices_.back()->deviceSn = QString("D%1").arg(i);
            devices_.back()->tunType = kTunTypeLocalPortForward;
            tunnels_.emplace_back(
                CreateTunnelForDevice(TunnelServices{}, nullptr, &gateway_, devices_.back().get()));
        }
    }
    CDataTunnel* operator[](size_t i) const { return tunnels_[i].get(); }
    size_t size() const { return tunnels_.size(); }

private:
    CNodeGateway gateway_;
    std::vector<std::unique_ptr<CNodeDevice>> devices_;
    std::vector<std::unique_ptr<CDataTunnel>> tunnels_;
};

TEST(ActiveTunnelList, ListsOneTunnelPerSerialPair)
{
    Tunnels first(2);
    Tunnels again(2); // other objects, same serials
    ActiveTunnelList list;
    list.Add(first[0]);
    list.Add(again[0]);
    list.Add(first[1]);
    EXPECT_EQ(list.Snapshot(), (std::vector<CDataTunnel*>{first[0], first[1]}));
    EXPECT_FALSE(list.Contains(again[0]));

    // Removal goes by the serials too.
    list.Remove(again[0]);
    EXPECT_EQ(list.Snapshot(), std::vector<CDataTunnel*>{first[1]});
    EXPECT_TRUE(list.Any([&](const CDataTunnel& t) { return t.DeviceSn() == "D1"; }));
    EXPECT_FALSE(list.Any([&](const CDataTunnel& t) { return t.DeviceSn() == "D0"; }));
}

TEST(ActiveTunnelList, StaysWholeWhileOneThreadChangesItAndAnotherReadsIt)
{
    Tunnels tunnels(8);
    ActiveTunnelList list;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int round = 0; round < 20000; ++round) {
            for (size_t i = 0; i < tunnels.size(); ++i)
                list.Add(tunnels[i]);
            for (size_t i = 0; i < tunnels.size(); ++i)
                list.Remove(tunnels[i]);
        }
        done = true;
    });
    size_t reads = 0;
    bool whole = true;
    while (!done || reads == 0) {
        std::vector<CDataTunnel*> seen = list.Snapshot();
        std::sort(seen.begin(), seen.end());
        whole = whole && seen.size() <= tunnels.size() &&
                std::adjacent_find(seen.begin(), seen.end()) == seen.end();
        list.Contains(tunnels[reads % tunnels.size()]);
        list.Any([](const CDataTunnel& t) { return t.DeviceSn().empty(); });
        ++reads;
    }
    writer.join();
    EXPECT_TRUE(whole);
    EXPECT_TRUE(list.Snapshot().empty());
}

} // namespace
