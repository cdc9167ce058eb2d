#pragma once

#include "RegistrationReader.h"
#include "RegistrationServer.h"

#include <memory>
#include <string>

class ServiceContext;
class TcpConnection;

// The port-transfer server of the serial tunnels. A connection starts with either
//   - the registration {"st":1,"pc_id","gw_sn","dev_sn","reconnect"} (unframed) of a
//     PC that holds the device: the result 2993 goes to the PC and the connection then
//     carries the raw serial bytes both ways between the PC and the simulated device
//     (the device's "fault" "far-close" ends it with 3003 right after the result);
//     A registration with "reconnect": 1 replaces the tunnel's connection without a
//     new 2993 (the tunnel is open already); the bytes flow on over the new one;
//   - a "zelq" frame with {"cmd_id":3002,"gw_sn","dev_sn","pc_id",...}: the device is
//     released and the connection closed, without a reply.
class PortTransferServer
{
public:
    static constexpr size_t kBlockSize = 65536;

    explicit PortTransferServer(ServiceContext& context);

    bool Listen(const std::string& host, int port, std::string* error)
    {
        return server_.Listen(host, port, error);
    }
    void Start() { server_.Start(); }
    void Stop() { server_.Stop(); }
    int Port() const { return server_.Port(); }

private:
    void Carry(const std::shared_ptr<TcpConnection>& connection,
               const RegistrationReader::Registration& registration, const std::string& rest,
               const std::string& who);
    void Release(const std::string& json, const std::string& who);

    ServiceContext& context_;
    RegistrationServer server_; // last: stopping it ends the connections before the rest goes
};
