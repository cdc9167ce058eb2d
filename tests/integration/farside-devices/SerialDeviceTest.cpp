// Serial device simulators driven the way the far side drives them: a real libmodbus
// RTU master writes into a pseudo-terminal of the test, the test shuttles those bytes
// into Feed, and the simulator's output goes back into that terminal.
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <thread>
#include <unistd.h>

#include <cjson/cJSON.h>
#include <gtest/gtest.h>
#include <modbus.h>

#include "DeviceSimulator.h"

namespace {

using JsonPtr = std::unique_ptr<cJSON, decltype(&cJSON_Delete)>;

JsonPtr Json(const std::string& text)
{
    return JsonPtr(cJSON_Parse(text.c_str()), cJSON_Delete);
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
        context_ = modbus_new_rtu(path, baud, parity, 8, 1);
        EXPECT_EQ(modbus_connect(context_), 0) << modbus_strerror(errno);
        modbus_set_response_timeout(context_, 3, 0);
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
        modbus_close(context_);
        modbus_free(context_);
        for (int fd : {master_, wake_[0], wake_[1]})
            close(fd);
    }
    modbus_t* Context() { return context_; }

private:
    DeviceSimulator* device_;
    int master_ = -1;
    int wake_[2] = {-1, -1};
    modbus_t* context_ = nullptr;
    std::thread shuttle_;
};

std::vector<int> ReadRegisters(modbus_t* context, int slave, bool input, int address, int count)
{
    std::vector<uint16_t> values(count);
    modbus_set_slave(context, slave);
    const int n = input ? modbus_read_input_registers(context, address, count, values.data())
                        : modbus_read_registers(context, address, count, values.data());
    if (n != count)
        return {-errno};
    return std::vector<int>(values.begin(), values.end());
}

} // namespace

TEST(SerialDevice, ModbusRtuSlaveAnswersWithTheInventoryRegisters)
{
    struct Case
    {
        const char* device;
        int slave, baud;
        char parity;
        bool input;
        int address;
        std::vector<int> expected;
    };
    const std::vector<Case> cases = {
        // Defaults: slave 1, registers 1..10 = 1001..1010, 9600 8N1.
        {R"({"deviceSn":"a"})", 1, 9600, 'N', false, 0, {1001, 1002, 1003, 1004}},
        {R"({"deviceSn":"a","baud":0})", 1, 9600, 'N', true, 8, {1009, 1010}},
        // Bytes a terminal in cooked mode would change (CR, LF, XON/XOFF, ^C, ^D, DEL).
        {R"({"baud":19200,"parity":2,"simulation":{"slaveId":7,
            "holdingRegisters":[3338,2573,4371,895,1024,65535]}})",
         7,
         19200,
         'E',
         false,
         0,
         {0x0D0A, 0x0A0D, 0x1113, 0x037F, 0x0400, 0xFFFF}},
        {R"({"parity":1,"simulation":{"kind":"modbus-rtu","inputRegisters":[5,6]}})",
         1,
         9600,
         'O',
         true,
         0,
         {5, 6}},
        // Outside the map: the slave answers with an exception.
        {R"({"simulation":{"holdingRegisters":[1,2]}})", 1, 9600, 'N', false, 2, {-EMBXILADD}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.device);
        std::string error;
        auto device = MakeSerialDevice(Json(c.device).get(), &error);
        ASSERT_TRUE(device) << error;
        RtuMaster master(device.get(), c.baud, c.parity);
        EXPECT_EQ(ReadRegisters(master.Context(), c.slave, c.input, c.address, int(c.expected.size())),
                  c.expected);
    }
}

TEST(SerialDevice, ModbusRtuSlaveWritesIgnoresOtherSlavesAndSurvivesJunk)
{
    std::string error;
    auto device = MakeSerialDevice(Json(R"({"simulation":{"slaveId":3,"coils":[1,0,1]}})").get(), &error);
    ASSERT_TRUE(device) << error;
    RtuMaster master(device.get(), 9600, 'N');
    modbus_t* context = master.Context();

    modbus_set_slave(context, 3);
    ASSERT_EQ(modbus_write_register(context, 4, 0xBEEF), 1) << modbus_strerror(errno);
    EXPECT_EQ(ReadRegisters(context, 3, false, 3, 3), (std::vector<int>{1004, 0xBEEF, 1006}));
    uint8_t bits[3] = {};
    ASSERT_EQ(modbus_read_bits(context, 0, 3, bits), 3);
    EXPECT_EQ(std::vector<int>(bits, bits + 3), (std::vector<int>{1, 0, 1}));

    // Another slave's request gets no answer, as on a shared bus.
    modbus_set_response_timeout(context, 0, 300000);
    EXPECT_EQ(ReadRegisters(context, 4, false, 0, 1), std::vector<int>{-ETIMEDOUT});

    // Junk, a frame with a bad checksum and an unknown function: the slave keeps going.
    device->Feed(std::string("\x00\xff\x13\x11garbage\r\n", 13));
    device->Feed(std::string("\x03\x03\x00\x00\x00\x01\xff\xff", 8));
    device->Feed(std::string("\x03\x55\x00\x00\x00\x01\x00\x00", 8));
    modbus_set_response_timeout(context, 1, 0);
    std::vector<int> values;
    for (int attempt = 0; attempt < 5 && values != std::vector<int>{1001}; ++attempt) {
        modbus_flush(context);
        values = ReadRegisters(context, 3, false, 0, 1);
    }
    EXPECT_EQ(values, std::vector<int>{1001});
}

TEST(SerialDevice, EchoDeviceSendsBackEveryByte)
{
    std::string error;
    auto device = MakeSerialDevice(Json(R"({"simulation":{"kind":"echo"}})").get(), &error);
    ASSERT_TRUE(device) << error;
    device->Feed("dropped: no output yet");

    std::string all;
    for (int i = 0; i < 256; ++i)
        all += char(i);
    std::string received;
    device->SetOutput([&](const std::string& bytes) { received += bytes; });
    device->Feed(all);
    device->Feed("");
    device->Feed("tail");
    EXPECT_EQ(received, all + "tail");
}

TEST(SerialDevice, WrongSimulationMembersAreNamed)
{
    const std::vector<std::pair<const char*, const char*>> cases = {
        {R"({"simulation":"echo"})", "simulation is not an object"},
        {R"({"simulation":{"kind":"modbus-tcp"}})", "simulation.kind"},
        {R"({"simulation":{"kind":3}})", "simulation.kind"},
        {R"({"simulation":{"slaveId":0}})", "simulation.slaveId"},
        {R"({"simulation":{"slaveId":248}})", "simulation.slaveId"},
        {R"({"simulation":{"slaveId":1.5}})", "simulation.slaveId"},
        {R"({"simulation":{"holdingRegisters":{}}})", "simulation.holdingRegisters is not an array"},
        {R"({"simulation":{"holdingRegisters":[1,65536]}})", "simulation.holdingRegisters[1]"},
        {R"({"simulation":{"inputRegisters":[-1]}})", "simulation.inputRegisters[0]"},
        {R"({"simulation":{"coils":[true,2]}})", "simulation.coils[1]"},
        {R"({"simulation":{"discreteInputs":["1"]}})", "simulation.discreteInputs[0]"},
    };
    for (const auto& [json, reason] : cases) {
        std::string error;
        EXPECT_FALSE(MakeSerialDevice(Json(json).get(), &error)) << json;
        EXPECT_NE(error.find(reason), std::string::npos) << json << " gave: " << error;
    }
}
