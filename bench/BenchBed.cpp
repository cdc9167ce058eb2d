#include "BenchBed.h"

#include "support/FreePort.h"
#include "support/ProgramRun.h"

#include <QDir>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <csignal>
#include <utility>

namespace {

const char kUser[] = "bench";
const char kPassword[] = "bench-pw";

// Device types that give the port-forward listener distinct ports, least used first.
const std::pair<int, int> kListenerTypes[] = {{13, 9600}, {10, 5562}, {3, 102}, {2, 502}};

QString Inventory(int echoPort, int netDeviceType)
{
    return QStringLiteral(R"({"accounts":[{"userName":"%1","password":"%2","orgId":41,"newRoleId":3,
 "accountsId":410,"gateways":[{"gwSn":"%3","gwName":"Bench gateway","nodeName":"Bench","isOnline":true,
 "devices":[
 {"deviceId":1,"id":"d1","deviceSn":"%4","deviceName":"Serial echo","ifaceTypeName":"RS485",
  "online":true,"ifaceType":2,"ip":"","port":0,"com":"COM1","baud":9600,"databit":8,"parity":0,
  "stopbit":1,"timeout":1000,"protocol":"1","tunType":2,"tunConnectType":0,"simulation":{"kind":"echo"}},
 {"deviceId":2,"id":"d2","deviceSn":"%5","deviceName":"Network echo","ifaceTypeName":"Ethernet",
  "online":true,"ifaceType":3,"ip":"127.0.0.1","port":%6,"com":"","baud":0,"databit":0,"parity":0,
  "stopbit":0,"timeout":3000,"protocol":"%7","tunType":1,"tunConnectType":0,"simulation":{"kind":"echo"}}
 ]}]}]})")
        .arg(kUser, kPassword, BenchBed::kGateway, BenchBed::kSerialDevice, BenchBed::kNetDevice)
        .arg(echoPort)
        .arg(netDeviceType);
}

QProcessEnvironment VcomEnvironment(const QString& folder)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LUMETRA_VCOM_DIR", folder);
    return env;
}

} // namespace

BenchBed::BenchBed() : FarsideBed(kUser, kPassword) {}

BenchBed::~BenchBed()
{
    RemoveComPairs(pairDir_);
}

int BenchBed::FreeListenerDeviceType()
{
    for (const auto& [type, port] : kListenerTypes) {
        if (FreePort::IsFree(port)) {
            return type;
        }
    }
    return 0;
}

std::unique_ptr<BenchBed> BenchBed::OpenPortForward(QString* where, std::string* error)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int deviceType = FreeListenerDeviceType();
        if (deviceType == 0) {
            *error = "none of the listener ports 9600, 5562, 102, 502 can be bound on 127.0.0.1";
            return nullptr;
        }
        auto bed = std::make_unique<BenchBed>();
        if (!bed->Start(deviceType)) {
            *error = bed->Error().toStdString();
            return nullptr;
        }
        *where = bed->Open(kNetDevice);
        if (!where->isEmpty()) {
            return bed;
        }
        *error = bed->Error().toStdString();
    }
    return nullptr;
}

bool BenchBed::Start(int netDeviceType)
{
    Broker().AddUser(kUser, kPassword);
    if (!StartBroker())
        return false;
    echoPort_ = PickPort();
    if (echoPort_ == 0) {
        Fail("no free port");
        return false;
    }
    if (!StartFarside(Inventory(echoPort_, netDeviceType).toUtf8(), {"--no-vpn-server"}))
        return false;
    pairDir_ = HomeFile("vcom-baseline");
    if (!QDir().mkpath(pairDir_)) {
        Fail("cannot make " + pairDir_);
        return false;
    }
    return true;
}

QString BenchBed::Open(const std::string& device)
{
    RunCli({"open", kGateway, QString::fromStdString(device)});
    const QString ready = WaitForLine("ready: ", 40000).trimmed();
    if (ready.isEmpty())
        Fail("lumetra-cli open " + QString::fromStdString(device) + " did not get ready: " + Out() + Err());
    return ready;
}

int BenchBed::Close()
{
    return Interrupt(SIGINT);
}

bool BenchBed::MakeComPair(QString* programEnd, QString* userEnd)
{
    const ProgramRun::Result made =
        ProgramRun::Run(ProgramRun::BuiltProgram("lumetra-vcom"),
                        {"install", "PortName=COM#", "PortName=COM#"}, 15000, VcomEnvironment(pairDir_));
    // "pair <n>: <CNCA link> -> <device>, <CNCB link> -> <device>"
    const QRegularExpressionMatch line =
        QRegularExpression("^pair \\d+: (\\S+) -> \\S+, (\\S+) -> \\S+$", QRegularExpression::MultilineOption)
            .match(made.out);
    if (made.exitCode != 0 || !line.hasMatch()) {
        Fail("lumetra-vcom install: " + made.out + made.err);
        return false;
    }
    *programEnd = line.captured(1);
    *userEnd = line.captured(2);
    return true;
}
