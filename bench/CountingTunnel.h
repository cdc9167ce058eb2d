#pragma once

#include "tunnel/CDataTunnel.h"

#include <atomic>
#include <chrono>
#include <cstdint>

// A port-forward tunnel that only counts: every data message (cmdId 2988) routed to
// it is checked for its "pt_sn", which must count up by one from 1. Number 0 marks
// the probes sent before the measurement. Runs on the UI thread like every tunnel.
class CountingTunnel : public CDataTunnel
{
public:
    using Clock = std::chrono::steady_clock;

    CountingTunnel(CNodeGateway* gateway, CNodeDevice* device)
        : CDataTunnel(TunnelServices{}, gateway, device)
    {
    }

    bool Match(const char* gwSn, const char* devSn) const override
    {
        return MatchesGatewayAndDevice(gwSn, devSn);
    }
    void OnMessage(cJSON* message, TunnelInbound kind) override;

    uint32_t Probes() const { return probes_; }
    // May be read from any thread.
    uint32_t Received() const { return received_; }
    // Messages whose number was not the one after the previous message's.
    uint32_t OutOfOrder() const { return outOfOrder_; }
    // Messages of another kind than port-forward data.
    uint32_t Misrouted() const { return misrouted_; }
    Clock::time_point LastArrival() const { return last_; }

private:
    uint32_t probes_ = 0;
    std::atomic<uint32_t> received_{0};
    uint32_t expected_ = 1;
    uint32_t outOfOrder_ = 0;
    uint32_t misrouted_ = 0;
    Clock::time_point last_;
};
