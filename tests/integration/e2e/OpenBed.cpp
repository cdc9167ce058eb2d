#include "OpenBed.h"

#include <cerrno>

#include "support/FreePort.h"
#include "support/PlatconfBuilder.h"
#include "support/ProgramRun.h"

#include "platform/ProcessLauncher.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <signal.h>

namespace {

const char kUser[] = "tester";
const char kPassword[] = "pw-1";

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
  "simulation":{"kind":"modbus-tcp","holdingRegisters":[301,302,303,304]}}]},
 {"gwSn":"GW-E2E-OFF","gwName":"Unplugged gateway","nodeName":"Lab","isOnline":false,"devices":[]}]}]})";

} // namespace

OpenBed::~OpenBed()
{
    if (cli_.state() != QProcess::NotRunning) {
        cli_.kill();
        cli_.waitForFinished(5000);
    }
    EndVpnClients();
    recorder_.Disconnect();
    farside_.Stop();
    RemoveComPairs();
}

bool OpenBed::Start(bool vpnServer)
{
    if (!broker_.Start()) {
        error_ = "broker: " + broker_.Error();
        return false;
    }
    int ports[3] = {};
    for (int i = 0; i < 3; ++i) {
        // Three different ports: a port picked twice in a row would be given twice.
        do {
            ports[i] = FreePort::Pick();
        } while (ports[i] > 0 && ((i > 0 && ports[i] == ports[0]) || (i > 1 && ports[i] == ports[1])));
    }
    const QString platconf = home_.MakeDir("custom_resource") + "/platconf";
    const bool written = PlatconfBuilder()
                             .Text("wsh", "127.0.0.1")
                             .Text("wsp", std::to_string(ports[0]))
                             .Text("bh", broker_.Host())
                             .Text("bp", std::to_string(broker_.Port()))
                             .Text("busername", broker_.User())
                             .Text("bpassword", broker_.Password())
                             .Text("port_transfer_host", "127.0.0.1")
                             .Text("port_transfer_port", std::to_string(ports[1]))
                             .Text("relay_host", "127.0.0.1")
                             .Text("relay_port", std::to_string(ports[2]))
                             .WriteTo(platconf);
    // The client looks for the pair tool in its program folder.
    vcomDir_ = home_.MakeDir("vcom");
    if (!written || !QFile::link(LUMETRA_BIN_DIR "/lumetra-vcom", home_.FilePath("lumetra-vcom"))) {
        error_ = "cannot prepare the installation in " + home_.Path();
        return false;
    }
    // No keep-alives: every message on the wire then belongs to the flow under test.
    QStringList options = {"--keepalive", "0"};
    options += vpnServer ? QStringList{"--vpn-ca", home_.FilePath("lumetra/ca.crt")}
                         : QStringList{"--no-vpn-server"};
    if (!farside_.Start(platconf, home_.Write("inventory.json", kInventory), options) ||
        !farside_.WaitForOutput("broker connected")) {
        error_ = "far side: " + farside_.Error() + farside_.Output() + farside_.ErrorOutput();
        return false;
    }
    // A login fixes the installation's PC identifier before any tunnel runs.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LUMETRA_HOME", home_.Path());
    const ProgramRun::Result login =
        ProgramRun::Run(ProgramRun::BuiltProgram("lumetra-cli"), {"login", kUser, kPassword}, 30000, env);
    pcId_ = QRegularExpression("^pcId +([0-9]+)$", QRegularExpression::MultilineOption)
                .match(login.out)
                .captured(1)
                .toStdString();
    if (pcId_.empty()) {
        error_ = "login: " + login.out + login.err;
        return false;
    }
    // QoS 2 subscriptions: each message arrives with the QoS it was published with.
    const std::string gateway = kGateway;
    if (!recorder_.Connect(broker_.Host(), broker_.Port(), broker_.User(), broker_.Password())) {
        error_ = "the recorder cannot connect to the broker";
        return false;
    }
    for (const std::string& topic :
         {std::string("/sys/varnex_binder/sub"), "/" + gateway + "/down",
          "/sys/transparent/" + gateway + "/down", "/" + pcId_ + "/lumetraToServer"}) {
        if (!recorder_.Subscribe(topic, 2)) {
            error_ = "the recorder cannot subscribe to " + QString::fromStdString(topic);
            return false;
        }
    }
    return true;
}

void OpenBed::Run(const QStringList& arguments)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LUMETRA_HOME", home_.Path());
    env.insert("LUMETRA_VCOM_DIR", vcomDir_);
    cli_.setProcessEnvironment(env);
    cli_.start(ProgramRun::BuiltProgram("lumetra-cli"),
               arguments + QStringList{"--user", kUser, "--password", kPassword});
    // Running from here on, also for a test that waits on something else than the
    // program's output (Interrupt and Crash signal only a running program).
    cli_.waitForStarted(10000);
}

void OpenBed::Open(const std::string& device)
{
    Run({"open", kGateway, QString::fromStdString(device)});
}

void OpenBed::Vpn(const std::string& gateway)
{
    Run({"vpn", QString::fromStdString(gateway)});
}

QString OpenBed::VpnServer()
{
    return QRegularExpression("^vpn server (.*)$", QRegularExpression::MultilineOption)
        .match(farside_.Output())
        .captured(1);
}

std::vector<qint64> OpenBed::VpnClients() const
{
    std::vector<qint64> found;
    const QString folder = QFileInfo(home_.FilePath("lumetra")).canonicalFilePath();
    for (const ProcessLauncher::Entry& entry : ProcessLauncher::List()) {
        if (entry.name.find("openvpn") != std::string::npos && !folder.isEmpty() &&
            QFileInfo(QString("/proc/%1/cwd").arg(entry.pid)).canonicalFilePath() == folder)
            found.push_back(entry.pid);
    }
    return found;
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
    for (qint64 pid : VpnClients())
        ProcessLauncher::End(pid, ProcessLauncher::StartTime(pid), 5000, 5000);
}

void OpenBed::Drain()
{
    out_ += QString::fromUtf8(cli_.readAllStandardOutput());
    err_ += QString::fromUtf8(cli_.readAllStandardError());
}

bool OpenBed::WaitForOutput(const std::function<bool()>& done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        Drain();
        if (done())
            return true;
        if (deadline.hasExpired() || cli_.state() == QProcess::NotRunning)
            return false;
        cli_.waitForReadyRead(100);
    }
}

bool OpenBed::WaitForErrorLines(const QString& prefix, int count, int timeoutMs)
{
    return WaitForOutput(
        [&] {
            int seen = 0;
            for (const QString& line : err_.split('\n'))
                seen += line.startsWith(prefix) ? 1 : 0;
            return seen >= count;
        },
        timeoutMs);
}

QString OpenBed::WaitForLine(const QString& prefix, int timeoutMs)
{
    const QRegularExpression line("^" + QRegularExpression::escape(prefix) + "(.*)$",
                                  QRegularExpression::MultilineOption);
    QRegularExpressionMatch match;
    WaitForOutput([&] { return (match = line.match(out_)).hasMatch(); }, timeoutMs);
    return match.captured(1);
}

bool OpenBed::WaitForError(const QString& text, int timeoutMs)
{
    return WaitForOutput([&] { return err_.contains(text); }, timeoutMs);
}

int OpenBed::WaitForExit(int timeoutMs)
{
    const bool ended = cli_.state() == QProcess::NotRunning || cli_.waitForFinished(timeoutMs);
    Drain();
    if (!ended) {
        cli_.kill();
        cli_.waitForFinished(5000);
        return -1;
    }
    return cli_.exitStatus() == QProcess::NormalExit ? cli_.exitCode() : -1;
}

int OpenBed::Interrupt(int signal)
{
    if (cli_.state() == QProcess::Running) {
        ::kill(static_cast<pid_t>(cli_.processId()), signal);
    }
    return WaitForExit();
}

void OpenBed::Crash()
{
    if (cli_.state() == QProcess::Running) {
        cli_.kill();
    }
    WaitForExit();
}

void OpenBed::RemoveComPairs()
{
    if (vcomDir_.isEmpty()) {
        return;
    }
    // A pair outlives the tunnel that made it (it is reused by the next one): end
    // the pairs of this installation here.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LUMETRA_VCOM_DIR", vcomDir_);
    const QStringList pairs = QDir(vcomDir_).entryList({"pair*"}, QDir::Files);
    for (const QString& pair : pairs) {
        ProgramRun::Run(ProgramRun::BuiltProgram("lumetra-vcom"), {"remove", pair.mid(4)}, 10000, env);
    }
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
