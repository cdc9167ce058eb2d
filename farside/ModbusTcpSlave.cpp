#include "ModbusTcpSlave.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

std::unique_ptr<ModbusTcpSlave> ModbusTcpSlave::Listen(const DeviceSimulation& simulation,
                                                       const std::string& ip, int port, std::string* error)
{
    std::unique_ptr<ModbusTcpSlave> slave(new ModbusTcpSlave());
    slave->mapping_ = simulation.NewMapping();
    slave->context_ = modbus_new_tcp(ip.c_str(), port);
    if (!slave->mapping_ || !slave->context_) {
        *error = std::string("cannot make the Modbus TCP slave: ") + modbus_strerror(errno);
        return nullptr;
    }
    slave->listening_ = modbus_tcp_listen(slave->context_, 16);
    if (slave->listening_ < 0) {
        *error = "cannot listen at " + ip + ":" + std::to_string(port) + ": " + modbus_strerror(errno);
        return nullptr;
    }
    sockaddr_in address = {};
    socklen_t length = sizeof address;
    getsockname(slave->listening_, reinterpret_cast<sockaddr*>(&address), &length);
    slave->port_ = ntohs(address.sin_port);
    return slave;
}

ModbusTcpSlave::~ModbusTcpSlave()
{
    if (listening_ >= 0)
        close(listening_);
    if (context_) {
        // The connections belong to the owner; the context only borrowed them.
        modbus_set_socket(context_, -1);
        modbus_free(context_);
    }
}

bool ModbusTcpSlave::Answer(int connection)
{
    uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
    modbus_set_socket(context_, connection);
    const int length = modbus_receive(context_, query);
    if (length < 0)
        return false;
    if (length > 0 && modbus_reply(context_, query, length, mapping_.get()) < 0)
        return false;
    return true;
}
