#pragma once

#include "TcpServer.h"

#include <memory>
#include <string>

class ServiceContext;
class TcpConnection;

// The port-transfer server of the serial tunnels. A connection starts with either
//   - the registration {"st":1,"pc_id","gw_sn","dev_sn","reconnect"} (unframed) of a
//     PC that holds the device: the result 2993 goes to the PC and the connection then
//     carries the raw serial bytes both ways between the PC and the simulated device
//     (the device's "fault" "far-close" ends it with 3003 right after the result);
//   - a "zelq" frame with {"cmd_id":3002,"gw_sn","dev_sn","pc_id",...}: the device is
//     released and the connection closed, without a reply.
class PortTransferServer
{
public:
    static constexpr int kRegistrationTimeoutMs = 10000;

    explicit PortTransferServer(ServiceContext& context) : context_(context) {}

    bool Listen(const std::string& host, int port, std::string* error)
    {
        return server_.Listen(host, port, error);
    }
    void Start();
    void Stop() { server_.Stop(); }
    int Port() const { return server_.Port(); }

private:
    void Serve(const std::shared_ptr<TcpConnection>& connection);
    void Release(const std::string& json, const std::string& peer);

    ServiceContext& context_;
    TcpServer server_;
};
