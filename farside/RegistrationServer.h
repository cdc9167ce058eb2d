#pragma once

#include "RegistrationReader.h"
#include "TcpServer.h"

#include <functional>
#include <memory>
#include <string>

class TcpConnection;

// A TCP server whose connections start with what RegistrationReader reads: the
// registration {"st":1,"pc_id","gw_sn","dev_sn","reconnect"} (unframed) or a "zelq"
// frame, within kRegistrationTimeoutMs. Each connection is served on a thread of its
// own; once its first message is read, the connection goes to the handler for its
// kind. A connection that sends neither in time, or a registration that does not
// parse, is logged and closed here.
//
// Every log line of a connection starts with `who`: "<name> <peer>: ".
class RegistrationServer
{
public:
    static constexpr int kRegistrationTimeoutMs = 10000;

    // The registration was read; `rest` holds the bytes that came after it.
    using OnRegistration = std::function<void(const std::shared_ptr<TcpConnection>& connection,
                                              const RegistrationReader::Registration& registration,
                                              const std::string& rest, const std::string& who)>;
    // A frame was read; `json` is its object's text.
    using OnFrame = std::function<void(const std::string& json, const std::string& who)>;

    RegistrationServer(std::string name, OnRegistration onRegistration, OnFrame onFrame);

    bool Listen(const std::string& host, int port, std::string* error)
    {
        return server_.Listen(host, port, error);
    }
    void Start();
    void Stop() { server_.Stop(); }
    int Port() const { return server_.Port(); }

private:
    void Serve(const std::shared_ptr<TcpConnection>& connection);

    const std::string name_;
    OnRegistration onRegistration_;
    OnFrame onFrame_;
    TcpServer server_;
};
