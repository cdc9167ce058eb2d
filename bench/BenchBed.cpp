#include "BenchBed.h"

#include "support/FreePort.h"
#include "support/ProgramRun.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <algorithm>
#include <csignal>
#include <sys/prctl.h>
#include <utility>
#include <vector>

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

bool WriteFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QProcessEnvironment VcomEnvironment(const QString& folder)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LUMETRA_VCOM_DIR", folder);
    return env;
}

} // namespace

BenchBed::~BenchBed()
{
    if (cli_.state() != QProcess::NotRunning) {
        cli_.kill();
        cli_.waitForFinished(5000);
    }
    farside_.Stop();
    RemoveComPairs(vcomDir_);
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

bool BenchBed::Start(int netDeviceType)
{
    if (!home_.isValid()) {
        error_ = "no temporary folder";
        return false;
    }
    broker_.AddUser(kUser, kPassword);
    if (!broker_.Start()) {
        error_ = "broker: " + broker_.Error();
        return false;
    }
    // Web service, port-transfer server, relay server, echo device: four ports.
    std::vector<int> ports = {broker_.Port()};
    while (ports.size() < 5) {
        const int port = FreePort::Pick();
        if (port == 0) {
            error_ = "no free port";
            return false;
        }
        if (std::find(ports.begin(), ports.end(), port) == ports.end()) {
            ports.push_back(port);
        }
    }
    echoPort_ = ports[4];

    // The installation: platconf (made by the platconf tool from one file per entry)
    // and the pair tool in the program folder.
    const QDir home(home_.path());
    home.mkpath("platconf-entries");
    home.mkpath("custom_resource");
    const std::pair<const char*, std::string> entries[] = {
        {"wsh", "127.0.0.1"},
        {"wsp", std::to_string(ports[1])},
        {"bh", broker_.Host()},
        {"bp", std::to_string(broker_.Port())},
        {"busername", broker_.User()},
        {"bpassword", broker_.Password()},
        {"port_transfer_host", "127.0.0.1"},
        {"port_transfer_port", std::to_string(ports[2])},
        {"relay_host", "127.0.0.1"},
        {"relay_port", std::to_string(ports[3])},
    };
    for (const auto& [name, value] : entries) {
        if (!WriteFile(home.filePath(QString("platconf-entries/") + name),
                       QByteArray::fromStdString(value))) {
            error_ = "cannot write the platconf entries in " + home.path();
            return false;
        }
    }
    const QString platconf = home.filePath("custom_resource/platconf");
    const ProgramRun::Result packed = ProgramRun::Run(ProgramRun::BuiltProgram("lumetra-platconf"),
                                                      {"pack", home.filePath("platconf-entries"), platconf});
    if (packed.exitCode != 0) {
        error_ = "lumetra-platconf pack: " + packed.out + packed.err;
        return false;
    }
    vcomDir_ = home.filePath("vcom");
    pairDir_ = home.filePath("vcom-baseline");
    home.mkpath("vcom");
    home.mkpath("vcom-baseline");
    if (!QFile::link(ProgramRun::BuiltProgram("lumetra-vcom"), home.filePath("lumetra-vcom"))) {
        error_ = "cannot link the pair tool into " + home.path();
        return false;
    }

    const QString inventory = home.filePath("inventory.json");
    if (!WriteFile(inventory, Inventory(echoPort_, netDeviceType).toUtf8())) {
        error_ = "cannot write " + inventory;
        return false;
    }
    if (!farside_.Start(platconf, inventory, {"--no-vpn-server", "--keepalive", "0"}) ||
        !farside_.WaitForOutput("broker connected")) {
        error_ = "far side: " + farside_.Error() + farside_.Output() + farside_.ErrorOutput();
        return false;
    }
    return true;
}

QString BenchBed::Open(const std::string& device)
{
    QProcessEnvironment env = VcomEnvironment(vcomDir_);
    env.insert("LUMETRA_HOME", home_.path());
    cli_.setProcessEnvironment(env);
    cli_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    cli_.start(ProgramRun::BuiltProgram("lumetra-cli"),
               {"open", kGateway, QString::fromStdString(device), "--user", kUser, "--password", kPassword});
    const QRegularExpression ready("^ready: (.*)$", QRegularExpression::MultilineOption);
    QDeadlineTimer deadline(40000);
    for (;;) {
        Drain();
        const QRegularExpressionMatch match = ready.match(cliOut_);
        if (match.hasMatch()) {
            return match.captured(1).trimmed();
        }
        if (deadline.hasExpired() || cli_.state() == QProcess::NotRunning) {
            error_ = "lumetra-cli open " + QString::fromStdString(device) + " did not get ready: " + cliOut_ +
                     cliErr_;
            return QString();
        }
        cli_.waitForReadyRead(100);
    }
}

int BenchBed::Close()
{
    if (cli_.state() == QProcess::Running) {
        ::kill(static_cast<pid_t>(cli_.processId()), SIGINT);
    }
    const bool ended = cli_.state() == QProcess::NotRunning || cli_.waitForFinished(20000);
    Drain();
    if (!ended) {
        cli_.kill();
        cli_.waitForFinished(5000);
        return -1;
    }
    return cli_.exitStatus() == QProcess::NormalExit ? cli_.exitCode() : -1;
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
        error_ = "lumetra-vcom install: " + made.out + made.err;
        return false;
    }
    *programEnd = line.captured(1);
    *userEnd = line.captured(2);
    return true;
}

void BenchBed::Drain()
{
    cliOut_ += QString::fromUtf8(cli_.readAllStandardOutput());
    cliErr_ += QString::fromUtf8(cli_.readAllStandardError());
    if (farside_.IsRunning()) {
        farside_.Output();
        farside_.ErrorOutput();
    }
}

void BenchBed::RemoveComPairs(const QString& folder)
{
    if (folder.isEmpty()) {
        return;
    }
    const QStringList pairs = QDir(folder).entryList({"pair*"}, QDir::Files);
    for (const QString& pair : pairs) {
        ProgramRun::Run(ProgramRun::BuiltProgram("lumetra-vcom"), {"remove", pair.mid(4)}, 10000,
                        VcomEnvironment(folder));
    }
}
