// The port-forward devices as the relay server meets them: real TCP connections to
// the device addresses, with a real libmodbus TCP master.
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cjson/cJSON.h>
#include <gtest/gtest.h>
#include <modbus.h>

#include "TcpDeviceServers.h"

namespace {

using JsonPtr = std::unique_ptr<cJSON, decltype(&cJSON_Delete)>;

JsonPtr Json(const std::string& text)
{
    return JsonPtr(cJSON_Parse(text.c_str()), cJSON_Delete);
}

int Connect(const std::string& ip, int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    inet_pton(AF_INET, ip.c_str(), &address.sin_addr);
    timeval timeout = {5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Reads until `size` bytes arrived or the peer closed or went quiet (5 s).
std::string Receive(int fd, size_t size)
{
    std::string received;
    char buffer[4096];
    while (received.size() < size) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        received.append(buffer, n);
    }
    return received;
}

struct Master
{
    Master(const TcpDeviceServers::Endpoint& endpoint, int unit)
        : context(modbus_new_tcp(endpoint.ip.c_str(), endpoint.port))
    {
        modbus_set_slave(context, unit);
        modbus_set_response_timeout(context, 5, 0);
        EXPECT_EQ(modbus_connect(context), 0) << modbus_strerror(errno);
    }
    ~Master()
    {
        modbus_close(context);
        modbus_free(context);
    }
    std::vector<int> Read(bool input, int address, int count)
    {
        std::vector<uint16_t> values(count);
        const int n = input ? modbus_read_input_registers(context, address, count, values.data())
                            : modbus_read_registers(context, address, count, values.data());
        return n == count ? std::vector<int>(values.begin(), values.end()) : std::vector<int>{-errno};
    }
    modbus_t* context;
};

const char* const kInventory = R"({"accounts":[{"gateways":[{"devices":[
  {"deviceSn":"plc","tunType":1,"ip":"127.0.0.1","port":0},
  {"deviceSn":"meter","tunType":1,"ip":"127.0.0.2","port":0,
   "simulation":{"kind":"modbus-tcp","holdingRegisters":[7,8,9],"inputRegisters":[42]}},
  {"deviceSn":"camera","tunType":1,"ip":"127.0.0.1","port":0,"simulation":{"kind":"echo"}},
  {"deviceSn":"serial","tunType":2,"ip":"8.8.8.8","port":1}]}]}]})";

} // namespace

TEST(TcpDeviceServers, ModbusAndEchoDevicesAnswerAtTheirAddresses)
{
    TcpDeviceServers servers;
    std::string error;
    ASSERT_TRUE(servers.Start(Json(kInventory).get(), &error)) << error;
    const auto endpoints = servers.Endpoints();
    ASSERT_EQ(endpoints.size(), 3u); // the serial device has no server
    const auto& plc = endpoints[0];
    const auto& meter = endpoints[1];
    const auto& camera = endpoints[2];
    EXPECT_EQ(plc.kind + " " + meter.ip + " " + meter.kind + " " + camera.kind,
              "modbus-tcp 127.0.0.2 modbus-tcp echo");

    // Two masters at once, any unit id, one shared register map per device.
    Master first(plc, 1), second(plc, 17), third(meter, 255);
    EXPECT_EQ(first.Read(false, 0, 4), (std::vector<int>{1001, 1002, 1003, 1004}));
    EXPECT_EQ(second.Read(true, 9, 1), (std::vector<int>{1010}));
    ASSERT_EQ(modbus_write_register(first.context, 2, 4242), 1);
    EXPECT_EQ(second.Read(false, 2, 1), (std::vector<int>{4242}));
    EXPECT_EQ(third.Read(false, 0, 3), (std::vector<int>{7, 8, 9}));
    EXPECT_EQ(third.Read(true, 0, 1), (std::vector<int>{42}));
    EXPECT_EQ(third.Read(false, 2, 2), (std::vector<int>{-EMBXILADD}));

    // Junk on one connection ends at most that connection.
    const int junk = Connect(plc.ip, plc.port);
    ASSERT_GE(junk, 0);
    static const char garbage[] = "GET / HTTP/1.1\r\n\r\n\x00\x01\x00\x00\x00\x02\x01\x2b";
    send(junk, garbage, sizeof garbage - 1, MSG_NOSIGNAL);
    shutdown(junk, SHUT_WR);
    Receive(junk, 1 << 20);
    close(junk);
    EXPECT_EQ(first.Read(false, 0, 1), (std::vector<int>{1001}));

    std::string bytes;
    for (int i = 0; i < 100000; ++i)
        bytes += char(i * 7);
    const int a = Connect(camera.ip, camera.port), b = Connect(camera.ip, camera.port);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    ASSERT_EQ(send(b, "second", 6, MSG_NOSIGNAL), 6);
    EXPECT_EQ(Receive(b, 6), "second");
    ASSERT_EQ(send(a, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size()));
    EXPECT_EQ(Receive(a, bytes.size()), bytes);

    // Stop closes the open connections and the listening sockets.
    servers.Stop();
    EXPECT_EQ(Receive(a, 1), "");
    EXPECT_TRUE(servers.Endpoints().empty());
    EXPECT_EQ(Connect(camera.ip, camera.port), -1);
    close(a);
    close(b);
}

TEST(TcpDeviceServers, SharedAddressesAndWrongEntries)
{
    TcpDeviceServers servers;
    std::string error;
    ASSERT_TRUE(servers.AddDevice(Json(R"({"deviceSn":"x","ip":"127.0.0.1","port":0})").get(), &error));
    const int port = servers.Endpoints()[0].port;
    const std::string same = R"({"deviceSn":"y","ip":"127.0.0.1","port":)" + std::to_string(port) +
                             R"(,"simulation":{"kind":"echo"}})";
    ASSERT_TRUE(servers.AddDevice(Json(same).get(), &error)) << error;
    EXPECT_EQ(servers.Endpoints()[1].port, port);
    EXPECT_EQ(servers.Endpoints()[1].kind, "modbus-tcp"); // served by the first device's slave

    const std::vector<std::pair<std::string, std::string>> cases = {
        {R"({"deviceSn":"d","ip":"192.168.1.10","port":502})",
         "device d: ip \"192.168.1.10\" is not a loopback"},
        {R"({"deviceSn":"d","ip":"localhost","port":502})", "is not a loopback"},
        {R"({"deviceSn":"d","ip":"127.0.0.1"})", "device d: port"},
        {R"({"deviceSn":"d","ip":"127.0.0.1","port":65536})", "device d: port"},
        {R"({"deviceSn":"d","ip":"127.0.0.1","port":0,"simulation":{"kind":"modbus-rtu"}})",
         "simulation.kind"},
        {R"({"deviceSn":"d","ip":"127.0.0.1","port":0,"simulation":{"coils":[3]}})", "simulation.coils[0]"},
    };
    for (const auto& [json, reason] : cases) {
        EXPECT_FALSE(servers.AddDevice(Json(json).get(), &error)) << json;
        EXPECT_NE(error.find(reason), std::string::npos) << json << " gave: " << error;
    }

    // A port in use by another program.
    TcpDeviceServers other;
    const std::string taken = R"({"deviceSn":"z","ip":"127.0.0.1","port":)" + std::to_string(port) + "}";
    EXPECT_FALSE(other.AddDevice(Json(taken).get(), &error));
    EXPECT_NE(error.find("device z: cannot listen at 127.0.0.1:" + std::to_string(port)), std::string::npos)
        << error;
}
