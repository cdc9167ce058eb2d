// The simulated devices beyond what the end-to-end tests read: a real libmodbus RTU
// master writes into a pseudo-terminal whose bytes the test shuttles into Feed, and
// real TCP connections and a real libmodbus TCP master reach the port-forward devices.
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include <cjson/cJSON.h>
#include <gtest/gtest.h>
#include <modbus.h>

#include "DeviceSimulator.h"
#include "TcpDeviceServers.h"
#include "app/JsonPtr.h"

namespace {

JsonPtr Json(const std::string& text)
{
    return JsonPtr(cJSON_Parse(text.c_str()));
}

// Reads `count` registers of `slave`, or {-errno}.
std::vector<int> ReadRegisters(modbus_t* context, int slave, bool input, int address, int count)
{
    std::vector<uint16_t> values(count);
    modbus_set_slave(context, slave);
    const int n = input ? modbus_read_input_registers(context, address, count, values.data())
                        : modbus_read_registers(context, address, count, values.data());
    return n == count ? std::vector<int>(values.begin(), values.end()) : std::vector<int>{-errno};
}

// A libmodbus RTU master whose line ends in `device`.
class RtuMaster
{
public:
    RtuMaster(DeviceSimulator* device, int baud, char parity) : device_(device)
    {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char path[128] = {};
        EXPECT_TRUE(master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0 &&
                    ptsname_r(master_, path, sizeof path) == 0 && pipe2(wake_, O_CLOEXEC) == 0);
        context = modbus_new_rtu(path, baud, parity, 8, 1);
        EXPECT_EQ(modbus_connect(context), 0) << modbus_strerror(errno);
        modbus_set_response_timeout(context, 3, 0);
        device_->SetOutput(
            [this](const std::string& bytes) { (void)!write(master_, bytes.data(), bytes.size()); });
        shuttle_ = std::thread([this] {
            pollfd fds[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
            char buffer[256];
            while (poll(fds, 2, -1) > 0 && !fds[1].revents) {
                const ssize_t n = read(master_, buffer, sizeof buffer);
                if (n > 0)
                    device_->Feed(std::string(buffer, n));
            }
        });
    }
    ~RtuMaster()
    {
        (void)!write(wake_[1], "x", 1);
        shuttle_.join();
        device_->SetOutput(nullptr);
        modbus_close(context);
        modbus_free(context);
        for (int fd : {master_, wake_[0], wake_[1]})
            close(fd);
    }
    modbus_t* context = nullptr;

private:
    DeviceSimulator* device_;
    int master_ = -1;
    int wake_[2] = {-1, -1};
    std::thread shuttle_;
};

TEST(SerialDevice, ModbusRtuSlaveAnswersItsIdWithTheInventoryRegistersAndRefusesOthers)
{
    // Register values whose bytes a terminal in cooked mode would change (CR, LF,
    // XON/XOFF, ^C, ^D, DEL).
    std::string error;
    auto device = MakeSerialDevice(Json(R"({"baud":19200,"parity":2,"simulation":{"slaveId":7,)"
                                        R"("holdingRegisters":[3338,2573,4371,895,1024,65535]}})")
                                       .get(),
                                   &error);
    ASSERT_TRUE(device) << error;
    RtuMaster master(device.get(), 19200, 'E');
    EXPECT_EQ(ReadRegisters(master.context, 7, false, 0, 6),
              (std::vector<int>{0x0D0A, 0x0A0D, 0x1113, 0x037F, 0x0400, 0xFFFF}));
    // Outside the map: the slave answers with an exception.
    EXPECT_EQ(ReadRegisters(master.context, 7, false, 5, 2), (std::vector<int>{-EMBXILADD}));
}

TEST(SerialDevice, EchoDeviceSendsBackEveryByte)
{
    std::string error;
    auto device = MakeSerialDevice(Json(R"({"simulation":{"kind":"echo"}})").get(), &error);
    ASSERT_TRUE(device) << error;
    device->Feed("dropped: no output yet");
    std::string all(256, '\0'), received;
    for (int i = 0; i < 256; ++i)
        all[i] = char(i);
    device->SetOutput([&](const std::string& bytes) { received += bytes; });
    for (const std::string& bytes : {all, std::string(), std::string("tail")})
        device->Feed(bytes);
    EXPECT_EQ(received, all + "tail");
}

int Connect(const TcpDeviceServers::Endpoint& endpoint)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(endpoint.port);
    inet_pton(AF_INET, endpoint.ip.c_str(), &address.sin_addr);
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
    for (ssize_t n = 1; received.size() < size && n > 0;) {
        n = recv(fd, buffer, sizeof buffer, 0);
        received.append(buffer, std::max<ssize_t>(n, 0));
    }
    return received;
}

const char kInventory[] = R"({"accounts":[{"gateways":[{"devices":[
  {"deviceSn":"plc","tunType":1,"ip":"127.0.0.1","port":0},
  {"deviceSn":"meter","tunType":1,"ip":"127.0.0.2","port":0,
   "simulation":{"kind":"modbus-tcp","holdingRegisters":[7,8,9],"inputRegisters":[42]}},
  {"deviceSn":"camera","tunType":1,"ip":"127.0.0.1","port":0,"simulation":{"kind":"echo"}},
  {"deviceSn":"serial","tunType":2,"ip":"8.8.8.8","port":1}]}]}]})";

TEST(TcpDeviceServers, ModbusAndEchoDevicesAnswerAtTheirAddressesUntilStopped)
{
    TcpDeviceServers servers;
    std::string error;
    ASSERT_TRUE(servers.Start(Json(kInventory).get(), &error)) << error;
    const auto endpoints = servers.Endpoints();
    ASSERT_EQ(endpoints.size(), 3u); // the serial device has no server
    const auto &plc = endpoints[0], &meter = endpoints[1], &camera = endpoints[2];
    EXPECT_EQ(plc.kind + " " + meter.ip + " " + meter.kind + " " + camera.kind,
              "modbus-tcp 127.0.0.2 modbus-tcp echo");

    // Any unit id; the normal reads are the port-forward end-to-end test's.
    modbus_t* master = modbus_new_tcp(meter.ip.c_str(), meter.port);
    modbus_set_response_timeout(master, 5, 0);
    EXPECT_EQ(modbus_connect(master), 0) << modbus_strerror(errno);
    EXPECT_EQ(ReadRegisters(master, 255, true, 0, 1), (std::vector<int>{42}));
    EXPECT_EQ(ReadRegisters(master, 255, false, 2, 2), (std::vector<int>{-EMBXILADD}));
    modbus_close(master);
    modbus_free(master);

    std::string bytes;
    for (int i = 0; i < 100000; ++i)
        bytes += char(i * 7);
    const int a = Connect(camera), b = Connect(camera);
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
    EXPECT_EQ(Connect(camera), -1);
    close(a);
    close(b);
}

} // namespace
