#include "OpenBed.h"

#include <cerrno>

#include "support/ProgramRun.h"

#include "platform/ProcessLauncher.h"

#include <QRegularExpression>
#include <QTcpSocket>

namespace {

// One account with an online and an offline gateway. Serial devices are answered by
// Modbus RTU slaves inside the far side; the port-forward device by a Modbus TCP
// slave on a free port ("port": 0). RTU-MQTT sends its answers back as cmdId 2980
// instead of over the port-transfer connection.
const char kInventory[] = R"({"accounts":[{"userName":"tester","password":"pw-1","orgId":31,
 "newRoleId":3,"accountsId":310,"gateways":[{"gwSn":"GW-E2E-01","gwName":"Test gateway",
 "nodeName":"Lab","isOnline":true,"lanIp":"10.77.0.1","lanMask":"255.255.0.0","devices":[
 {"deviceId":1,"id":"d1","deviceSn":"RTU-TCP","deviceName":"Meter A","ifaceTypeName":"RS485",
  "online":true,"ifaceType":2,"ip":"","port":0,"com":"COM1","baud":9600,"databit":8,"parity":0,
  "stopbit":1,"timeout":1000,"protocol":"1","tunType":2,"tunConnectType":0,
  "simulation":{"kind":"modbus-rtu","slaveId":1,"holdingRegisters":[101,102,103,104,105]}},
 {"deviceId":2,"id":"d2","deviceSn":"RTU-MQTT","deviceName":"Meter B","ifaceTypeName":"RS232",
  "online":true,"ifaceType":1,"ip":"","port":0,"com":"COM2","baud":9600,"databit":8,"parity":0,
  "stopbit":1,"timeout":1000,"protocol":"1","tunType":2,"tunConnectType":0,"returnPath":"mqtt",
  "simulation":{"kind":"modbus-rtu","slaveId":1,"holdingRegisters":[201,202,203,204]}},
 {"deviceId":3,"id":"d3","deviceSn":"RTU-BUSY","deviceName":"Meter C","ifaceTypeName":"RS485",
  "online":true,"ifaceType":2,"ip":"","port":0,"com":"COM3","baud":9600,"databit":8,"parity":0,
  "stopbit":1,"timeout":1000,"protocol":"1","tunType":2,"tunConnectType":0,"fault":"occupied",
  "simulation":{"kind":"modbus-rtu","slaveId":1}},
 {"deviceId":4,"id":"d4","deviceSn":"PLC-TCP","deviceName":"PLC","ifaceTypeName":"Ethernet",
  "online":true,"ifaceType":3,"ip":"127.0.0.1","port":0,"com":"","baud":0,"databit":0,"parity":0,
  "stopbit":0,"timeout":3000,"protocol":"2","tunType":1,"tunConnectType":0,
  "simulation":{"kind":"modbus-tcp","holdingRegisters":[301,302,303,304]}},
 {"deviceId":5,"id":"d5","deviceSn":"PLC-TCP-2","deviceName":"Drive","ifaceTypeName":"Ethernet",
  "online":true,"ifaceType":3,"ip":"127.0.0.1","port":0,"com":"","baud":0,"databit":0,"parity":0,
  "stopbit":0,"timeout":3000,"protocol":"2","tunType":1,"tunConnectType":0,
  "simulation":{"kind":"modbus-tcp","holdingRegisters":[401,402,403,404]}}]},
 {"gwSn":"GW-E2E-OFF","gwName":"Unplugged gateway","nodeName":"Lab","isOnline":false,"devices":[]},
 {"gwSn":"GW-E2E-FLEET","gwName":"Fleet gateway","nodeName":"Lab","isOnline":true,"devices":[)";
const char kInventoryEnd[] = "]}]}]}";

// The fleet gateway's devices FLEET-01 to FLEET-<count>: Modbus TCP slaves of type 10,
// whose tunnels listen on port 5562.
std::string FleetDevices(int count)
{
    std::string devices;
    for (int i = 1; i <= count; ++i) {
        const std::string number = (i < 10 ? "0" : "") + std::to_string(i);
        devices += std::string(i > 1 ? "," : "") + R"({"deviceId":)" + std::to_string(100 + i) +
                   R"(,"id":"f)" + number + R"(","deviceSn":"FLEET-)" + number +
                   R"(","deviceName":"Fleet","ifaceTypeName":"Ethernet","online":true,"ifaceType":3,)"
                   R"("ip":"127.0.0.1","port":0,"com":"","baud":0,"databit":0,"parity":0,"stopbit":0,)"
                   R"("timeout":3000,"protocol":"10","tunType":1,"tunConnectType":0,)"
                   R"("simulation":{"kind":"modbus-tcp","holdingRegisters":[)" +
                   std::to_string(1000 + i) + "]}}";
    }
    return devices;
}

} // namespace

OpenBed::OpenBed() : FarsideBed(kUser, kPassword) {}

OpenBed::~OpenBed()
{
    EndCli();
    EndVpnClients();
    recorder_.Disconnect();
}

bool OpenBed::StartWithControl()
{
    controlPort_ = PickPort();
    return Start(false);
}

bool OpenBed::SendControl(const std::string& line, QTcpSocket& control)
{
    control.connectToHost("127.0.0.1", static_cast<quint16>(controlPort_));
    if (!control.waitForConnected(10000))
        return false;
    control.write(QByteArray::fromStdString(line + "\n"));
    return control.waitForBytesWritten(10000);
}

std::string OpenBed::Control(const std::string& line)
{
    QTcpSocket control;
    if (!SendControl(line, control))
        return "(no control channel)";
    while (!control.canReadLine() && control.waitForReadyRead(20000)) {
    }
    return control.readLine().trimmed().toStdString();
}

bool OpenBed::Start(bool vpnServer)
{
    QStringList vpn =
        vpnServer ? QStringList{"--vpn-ca", HomeFile("lumetra/ca.crt")} : QStringList{"--no-vpn-server"};
    if (controlPort_ != 0)
        vpn << "--control" << QString::number(controlPort_);
    if (!StartBroker() ||
        !StartFarside(QByteArray::fromStdString(kInventory + FleetDevices(kFleetSize) + kInventoryEnd), vpn))
        return false;
    // A login fixes the installation's PC identifier before any tunnel runs.
    const ProgramRun::Result login = ProgramRun::Run(ProgramRun::BuiltProgram("lumetra-cli"),
                                                     {"login", kUser, kPassword}, 30000, Environment());
    pcId_ = QRegularExpression("^pcId +([0-9]+)$", QRegularExpression::MultilineOption)
                .match(login.out)
                .captured(1)
                .toStdString();
    if (pcId_.empty()) {
        Fail("login: " + login.out + login.err);
        return false;
    }
    // QoS 2 subscriptions: each message arrives with the QoS it was published with.
    const std::string gateway = kGateway;
    const MosquittoBroker& broker = Broker();
    if (!recorder_.Connect(broker.Host(), broker.Port(), broker.User(), broker.Password())) {
        Fail("the recorder cannot connect to the broker");
        return false;
    }
    for (const std::string& topic :
         {std::string("/sys/varnex_binder/sub"), "/" + gateway + "/down",
          "/sys/transparent/" + gateway + "/down", "/" + pcId_ + "/lumetraToServer"}) {
        if (!recorder_.Subscribe(topic, 2)) {
            Fail("the recorder cannot subscribe to " + QString::fromStdString(topic));
            return false;
        }
    }
    return true;
}

void OpenBed::Open(const std::string& device)
{
    RunCli({"open", kGateway, QString::fromStdString(device)});
}

void OpenBed::OpenSeveral(const std::string& gateway, const std::vector<std::string>& devices)
{
    QStringList args{"open", QString::fromStdString(gateway)};
    for (const std::string& device : devices)
        args << QString::fromStdString(device);
    RunCli(args);
}

void OpenBed::Vpn(const std::string& gateway)
{
    RunCli({"vpn", QString::fromStdString(gateway)});
}

QString OpenBed::VpnServer()
{
    return QRegularExpression("^vpn server (.*)$", QRegularExpression::MultilineOption)
        .match(Farside().Output())
        .captured(1);
}

std::vector<std::string> OpenBed::Wire(size_t count, int timeoutMs)
{
    recorder_.WaitForMessages(count, timeoutMs);
    std::vector<std::string> lines;
    for (const MqttTestClient::Message& message : recorder_.Messages()) {
        QString line = QString::fromStdString(message.topic + " q" + std::to_string(message.qos) + " " +
                                              message.payload);
        lines.push_back(line.replace(QString::fromStdString(pcId_), "<pc>").toStdString());
    }
    return lines;
}

void OpenBed::EndVpnClients()
{
    // A client left by a failed test (its program killed) would hold the tun device
    // and the management port: end it, and wait until it has gone.
    for (int64_t pid : VpnClients())
        platform::ProcessLauncher::End(pid, platform::ProcessLauncher::StartTime(pid), 5000, 5000);
}

ModbusMaster ConnectModbusMaster(modbus_t* context, std::string* error)
{
    ModbusMaster master(context, [](modbus_t* m) {
        modbus_close(m);
        modbus_free(m);
    });
    if (!master) {
        *error = "no Modbus context";
        return ModbusMaster(nullptr, [](modbus_t*) {});
    }
    modbus_set_slave(master.get(), 1);
    modbus_set_response_timeout(master.get(), 5, 0);
    if (modbus_connect(master.get()) != 0) {
        *error = modbus_strerror(errno);
        return ModbusMaster(nullptr, [](modbus_t*) {});
    }
    return master;
}
