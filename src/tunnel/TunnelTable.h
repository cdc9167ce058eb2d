#pragma once

#include <map>
#include <memory>

class CDataTunnel;
class CNodeDevice;
class CNodeGateway;
class CVPNDataTunnel;
class TunnelObserver;
struct TunnelServices;

// The tunnels of the gateway and device records, owned here: at most one tunnel per
// device record and one channel (VPN) tunnel per gateway record. A record is known by
// its identity, not by its serial text: two records of one gateway may be alive at
// once (a later gateway list makes new records). The records are not owned; they
// must outlive their entries. UI thread only.
class TunnelTable
{
public:
    TunnelTable();
    // Destroys every tunnel still held.
    ~TunnelTable();
    TunnelTable(const TunnelTable&) = delete;
    TunnelTable& operator=(const TunnelTable&) = delete;

    // The tunnel of `device`, or null when it has none.
    CDataTunnel* DeviceTunnel(const CNodeDevice* device) const;
    // Creates the tunnel of `device` by its tunnel type (CreateTunnelForDevice) and
    // keeps it in place of an earlier one; a type without a tunnel leaves the device
    // with none. Null, with the table as it was, when the gateway or the device is
    // missing.
    CDataTunnel* CreateDeviceTunnel(const TunnelServices& services, TunnelObserver* observer,
                                    CNodeGateway* gateway, CNodeDevice* device);

    // Gives the tunnels of earlier records of `gateway`'s serial to its devices of the
    // same device serial (a later gateway list made new records): each such tunnel is
    // rebound to the new records, and the new device takes the old one's run-time
    // state (open flag, row, virtual COM pair), so its row shows the tunnel that runs.
    // A device that has a tunnel of its own keeps it.
    void AdoptTunnels(CNodeGateway* gateway);

    // The channel tunnel of `gateway`, or null when it has none.
    CVPNDataTunnel* ChannelTunnel(const CNodeGateway* gateway) const;
    // The channel tunnel of `gateway` (not null), made on first use.
    CVPNDataTunnel* EnsureChannelTunnel(const TunnelServices& services, CNodeGateway* gateway);

    // Destroys every tunnel. Their owner calls it while what the tunnels report to
    // (its window, the tunnel host) is still there.
    void Clear();

private:
    std::map<const CNodeDevice*, std::unique_ptr<CDataTunnel>> deviceTunnels_;
    std::map<const CNodeGateway*, std::unique_ptr<CVPNDataTunnel>> channelTunnels_;
};
