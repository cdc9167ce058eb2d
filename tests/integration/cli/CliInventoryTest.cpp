// lumetra-cli run as a real process against a real lumetra-farside on loopback:
// sign-in, the login cache it leaves, gateway and device listings, and the failures
// a user meets on the command line.

#include "app/CRequestLogin.h"
#include "support/FarsideProcess.h"
#include "support/FreePort.h"
#include "support/PlatconfBuilder.h"
#include "support/ProgramRun.h"
#include "support/TempDir.h"

#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <memory>

namespace {

// Two accounts; the first has gateways with every kind of device the table shows.
const char kInventory[] = R"({"accounts":[
 {"userName":"alice","password":"secret","orgId":11,"newRoleId":3,"accountsId":4242,
  "gateways":[
   {"gwSn":"GW-A001","gwName":"一号网关","nodeName":"厂区","isOnline":true,"devices":[
     {"deviceSn":"DEV-001","deviceName":"电表","ifaceTypeName":"RS485","ifaceType":1,
      "baud":9600,"databit":8,"parity":0,"stopbit":1,"tunType":2,"online":true},
     {"deviceSn":"DEV-002","deviceName":"Meter 2","ifaceTypeName":"RS232","ifaceType":2,
      "baud":19200,"databit":7,"parity":2,"stopbit":2,"tunType":2},
     {"deviceSn":"DEV-003","deviceName":"Drive","ifaceTypeName":"RS485","ifaceType":1,
      "baud":4800,"databit":8,"parity":1,"stopbit":1,"tunType":2,"online":false},
     {"deviceSn":"DEV-004","deviceName":"PLC","ifaceTypeName":"Ethernet","ifaceType":3,
      "ip":"192.168.1.20","port":502,"protocol":"1","tunType":1,"online":true},
     {"deviceSn":"DEV-005","deviceName":"Camera","ifaceTypeName":"WiFi","ifaceType":4,
      "ip":"10.0.0.5","tunType":0}]},
   {"gwSn":"GW-A002","gwName":"Pump","nodeName":"North","isOnline":false,"devices":[]},
   {"gwSn":"GW-B100","gwName":"Line B","nodeName":"South","isOnline":true,"devices":[]}]},
 {"userName":"张工","password":"密码 123","orgId":7,"newRoleId":5,"accountsId":77,
  "gateways":[{"gwSn":"GW-Z900","gwName":"Remote","nodeName":"West","isOnline":false,"devices":[]}]}
]})";

// One table row of the listing: cells are separated by at least two spaces.
QStringList Cells(const QString& line)
{
    return line.trimmed().split(QRegularExpression(QStringLiteral("\\s{2,}")));
}

// The lines of standard output between the header starting with `header` and the
// count line; the header must be there.
std::vector<QStringList> TableRows(const QString& out, const QString& header)
{
    std::vector<QStringList> rows;
    const QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    int start = -1;
    for (int i = 0; i < lines.size(); ++i) {
        if (lines[i].startsWith(header)) {
            start = i;
            break;
        }
    }
    EXPECT_GE(start, 0) << "no table in: " << out.toStdString();
    if (start < 0)
        return rows;
    for (int i = start + 1; i < lines.size() - 1; ++i)
        rows.push_back(Cells(lines[i]));
    return rows;
}

QString Field(const QString& out, const QString& name)
{
    const QRegularExpression re(QStringLiteral("^%1\\s+(\\S+)$").arg(name),
                                QRegularExpression::MultilineOption);
    const QRegularExpressionMatch m = re.match(out);
    return m.hasMatch() ? m.captured(1) : QString();
}

class CliInventoryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.IsValid());
        port = FreePort::Pick();
        ASSERT_GT(port, 0);
        platconf = home.FilePath(QStringLiteral("custom_resource/platconf"));
        home.MakeDir(QStringLiteral("custom_resource"));
        ASSERT_TRUE(PlatconfBuilder()
                        .Text("wsh", "127.0.0.1")
                        .Text("wsp", std::to_string(port))
                        .Text("bh", "127.0.0.1")
                        .Text("bp", "1883")
                        .Text("busername", "pc")
                        .Text("bpassword", "pc")
                        .WriteTo(platconf));
        inventory = home.Write(QStringLiteral("inventory.json"), kInventory);
    }

    void StartFarside()
    {
        farside = std::make_unique<FarsideProcess>();
        ASSERT_TRUE(farside->Start(platconf, inventory)) << farside->Error().toStdString();
    }

    ProgramRun::Result Cli(const QStringList& args)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LUMETRA_HOME"), home.Path());
        ProgramRun::Result r =
            ProgramRun::Run(ProgramRun::BuiltProgram(QStringLiteral("lumetra-cli")), args, 60000, env);
        EXPECT_TRUE(r.started) << r.err.toStdString();
        EXPECT_FALSE(r.timedOut);
        EXPECT_FALSE(r.crashed) << r.err.toStdString();
        return r;
    }

    std::unique_ptr<CRequestLogin> Cache()
    {
        QFile file(home.FilePath(QStringLiteral("licache")));
        if (!file.open(QIODevice::ReadOnly))
            return nullptr;
        return CRequestLogin::Deserialize(file.readAll());
    }

    QByteArray CacheBytes()
    {
        QFile file(home.FilePath(QStringLiteral("licache")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    TempDir home;
    int port = 0;
    QString platconf;
    QString inventory;
    std::unique_ptr<FarsideProcess> farside;
};

TEST_F(CliInventoryTest, LoginPrintsTheAccountAndRecordsItWithAStablePcId)
{
    StartFarside();
    const ProgramRun::Result first =
        Cli({QStringLiteral("login"), QStringLiteral("alice"), QStringLiteral("secret")});
    ASSERT_EQ(first.exitCode, 0) << first.err.toStdString();
    EXPECT_EQ(Field(first.out, QStringLiteral("userName")), QStringLiteral("alice"));
    EXPECT_EQ(Field(first.out, QStringLiteral("orgId")), QStringLiteral("11"));
    EXPECT_EQ(Field(first.out, QStringLiteral("newRoleId")), QStringLiteral("3"));
    EXPECT_EQ(Field(first.out, QStringLiteral("accountsId")), QStringLiteral("4242"));
    EXPECT_EQ(Field(first.out, QStringLiteral("remember")), QStringLiteral("no"));
    const QString pcId = Field(first.out, QStringLiteral("pcId"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9]{20}$")).match(pcId).hasMatch())
        << pcId.toStdString();

    std::unique_ptr<CRequestLogin> cache = Cache();
    ASSERT_TRUE(cache);
    EXPECT_EQ(cache->GetUserName(), QStringLiteral("alice"));
    EXPECT_EQ(cache->GetPassword(), QStringLiteral("secret"));
    EXPECT_EQ(cache->GetRemember(), 0);
    EXPECT_EQ(cache->GetPcId(), pcId);

    // A second run, remembering the password, keeps the identifier.
    const ProgramRun::Result second = Cli({QStringLiteral("login"), QStringLiteral("alice"),
                                           QStringLiteral("secret"), QStringLiteral("--remember")});
    ASSERT_EQ(second.exitCode, 0) << second.err.toStdString();
    EXPECT_EQ(Field(second.out, QStringLiteral("pcId")), pcId);
    cache = Cache();
    ASSERT_TRUE(cache);
    EXPECT_EQ(cache->GetRemember(), 1);
    EXPECT_EQ(cache->GetPcId(), pcId);

    // The remembered password stands in for an omitted one, and stays remembered.
    const ProgramRun::Result third = Cli({QStringLiteral("login"), QStringLiteral("alice")});
    ASSERT_EQ(third.exitCode, 0) << third.err.toStdString();
    EXPECT_EQ(Field(third.out, QStringLiteral("remember")), QStringLiteral("yes"));
    EXPECT_EQ(Field(third.out, QStringLiteral("pcId")), pcId);
    EXPECT_TRUE(farside->WaitForOutput(QStringLiteral("Login user=\"alice\" flag=1"), 5000));
}

TEST_F(CliInventoryTest, NonAsciiNamesTravelAsUtf8AndAreCachedAsUtf16)
{
    StartFarside();
    const ProgramRun::Result r = Cli({QStringLiteral("login"), QStringLiteral("张工"),
                                      QStringLiteral("密码 123"), QStringLiteral("--remember")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(Field(r.out, QStringLiteral("userName")), QStringLiteral("张工"));
    EXPECT_EQ(Field(r.out, QStringLiteral("accountsId")), QStringLiteral("77"));
    const QByteArray bytes = CacheBytes();
    // FF FE FF, the length in UTF-16 code units, then the code units (little-endian).
    EXPECT_TRUE(bytes.contains(QByteArray("\xff\xfe\xff\x02\x20\x5f\xe5\x5d", 8)));
    std::unique_ptr<CRequestLogin> cache = Cache();
    ASSERT_TRUE(cache);
    EXPECT_EQ(cache->GetUserName(), QStringLiteral("张工"));
    EXPECT_EQ(cache->GetPassword(), QStringLiteral("密码 123"));
}

TEST_F(CliInventoryTest, RefusedLoginShowsTheServiceTextAndKeepsTheCache)
{
    StartFarside();
    ASSERT_EQ(Cli({QStringLiteral("login"), QStringLiteral("alice"), QStringLiteral("secret")}).exitCode, 0);
    const QByteArray before = CacheBytes();
    const ProgramRun::Result wrong = Cli({QStringLiteral("login"), QStringLiteral("alice"),
                                          QStringLiteral("guess"), QStringLiteral("--remember")});
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_TRUE(wrong.err.contains(QStringLiteral("用户名或密码错误"))) << wrong.err.toStdString();
    EXPECT_FALSE(wrong.out.contains(QStringLiteral("orgId")));
    EXPECT_EQ(CacheBytes(), before);

    // After "--" an option-like word is the password itself.
    const ProgramRun::Result dashed = Cli({QStringLiteral("login"), QStringLiteral("alice"),
                                           QStringLiteral("--"), QStringLiteral("--remember")});
    EXPECT_EQ(dashed.exitCode, 1);
    EXPECT_TRUE(dashed.err.contains(QStringLiteral("用户名或密码错误"))) << dashed.err.toStdString();
    EXPECT_TRUE(farside->WaitForOutput(QStringLiteral("wrong password"), 5000));
    EXPECT_EQ(CacheBytes(), before);
}

TEST_F(CliInventoryTest, EmptyFieldsAreRefusedBeforeTheServiceIsAsked)
{
    StartFarside();
    struct Case
    {
        QStringList args;
        const char* message;
    };
    const Case cases[] = {
        {{QStringLiteral("login")}, "用户名不能为空！"},
        {{QStringLiteral("login"), QString(), QStringLiteral("secret")}, "用户名不能为空！"},
        {{QStringLiteral("login"), QString(), QString()}, "用户名不能为空！"},
        {{QStringLiteral("login"), QStringLiteral("alice"), QString()}, "密码不能为空！"},
        {{QStringLiteral("login"), QStringLiteral("alice")}, "密码不能为空！"},
    };
    for (const Case& c : cases) {
        const ProgramRun::Result r = Cli(c.args);
        EXPECT_EQ(r.exitCode, 1) << c.args.join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(r.err.trimmed(), QString::fromUtf8(c.message))
            << c.args.join(QLatin1Char('|')).toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    // A login without --remember leaves no password to stand in for an omitted one.
    ASSERT_EQ(Cli({QStringLiteral("login"), QStringLiteral("alice"), QStringLiteral("secret")}).exitCode, 0);
    const ProgramRun::Result omitted = Cli({QStringLiteral("login"), QStringLiteral("alice")});
    EXPECT_EQ(omitted.exitCode, 1);
    EXPECT_EQ(omitted.err.trimmed(), QStringLiteral("密码不能为空！"));
    // Nor does a remembered login of another user.
    ASSERT_EQ(Cli({QStringLiteral("login"), QStringLiteral("alice"), QStringLiteral("secret"),
                   QStringLiteral("--remember")})
                  .exitCode,
              0);
    const ProgramRun::Result other = Cli({QStringLiteral("login"), QStringLiteral("张工")});
    EXPECT_EQ(other.exitCode, 1);
    EXPECT_EQ(other.err.trimmed(), QStringLiteral("密码不能为空！"));
    // Only the two real logins reached the service.
    EXPECT_TRUE(farside->WaitForOutput(QStringLiteral("Login user=\"alice\" flag=1"), 5000));
    EXPECT_EQ(farside->Output().count(QStringLiteral("Login ")), 2) << farside->Output().toStdString();
}

TEST_F(CliInventoryTest, GatewaysListTheAccountWithFilters)
{
    StartFarside();
    const ProgramRun::Result signedOut = Cli({QStringLiteral("gateways")});
    EXPECT_EQ(signedOut.exitCode, 1);
    EXPECT_TRUE(signedOut.err.contains(QStringLiteral("run 'lumetra-cli login")))
        << signedOut.err.toStdString();

    ASSERT_EQ(Cli({QStringLiteral("login"), QStringLiteral("alice"), QStringLiteral("secret")}).exitCode, 0);
    const ProgramRun::Result all = Cli({QStringLiteral("gateways")});
    ASSERT_EQ(all.exitCode, 0) << all.err.toStdString();
    std::vector<QStringList> rows = TableRows(all.out, QStringLiteral("SERIAL"));
    ASSERT_EQ(rows.size(), 3u) << all.out.toStdString();
    EXPECT_EQ(rows[0], QStringList({"GW-A001", "一号网关", "厂区", "online"}));
    EXPECT_EQ(rows[1], QStringList({"GW-A002", "Pump", "North", "offline"}));
    EXPECT_EQ(rows[2], QStringList({"GW-B100", "Line B", "South", "online"}));
    EXPECT_TRUE(all.out.trimmed().endsWith(QStringLiteral("3 gateways")));

    struct Case
    {
        QStringList args;
        QStringList serials;
    };
    const Case cases[] = {
        {{QStringLiteral("--online")}, {"GW-A001", "GW-B100"}},
        {{QStringLiteral("--offline")}, {"GW-A002"}},
        {{QStringLiteral("--sn"), QStringLiteral("A00")}, {"GW-A001", "GW-A002"}},
        {{QStringLiteral("--sn=A00"), QStringLiteral("--online")}, {"GW-A001"}},
        {{QStringLiteral("--name"), QStringLiteral("一号")}, {"GW-A001"}},
        {{QStringLiteral("--node"), QStringLiteral("South")}, {"GW-B100"}},
        {{QStringLiteral("--sn"), QStringLiteral("nothing")}, {}},
    };
    for (const Case& c : cases) {
        const ProgramRun::Result r = Cli(QStringList{QStringLiteral("gateways")} + c.args);
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        QStringList serials;
        for (const QStringList& row : TableRows(r.out, QStringLiteral("SERIAL")))
            serials << row.value(0);
        EXPECT_EQ(serials, c.serials) << c.args.join(QLatin1Char(' ')).toStdString();
        const QString count =
            QString::number(c.serials.size()) +
            (c.serials.size() == 1 ? QStringLiteral(" gateway") : QStringLiteral(" gateways"));
        EXPECT_TRUE(r.out.trimmed().endsWith(count)) << r.out.toStdString();
    }

    // Credentials on the command line sign in as another user without touching the
    // recorded login.
    const QByteArray cache = CacheBytes();
    const ProgramRun::Result other =
        Cli({QStringLiteral("gateways"), QStringLiteral("--user"), QStringLiteral("张工"),
             QStringLiteral("--password"), QStringLiteral("密码 123")});
    ASSERT_EQ(other.exitCode, 0) << other.err.toStdString();
    rows = TableRows(other.out, QStringLiteral("SERIAL"));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].value(0), QStringLiteral("GW-Z900"));
    EXPECT_EQ(CacheBytes(), cache);

    const ProgramRun::Result refused =
        Cli({QStringLiteral("gateways"), QStringLiteral("--user"), QStringLiteral("alice"),
             QStringLiteral("--password"), QStringLiteral("x")});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("用户名或密码错误")));
    EXPECT_FALSE(refused.out.contains(QStringLiteral("SERIAL")));
}

TEST_F(CliInventoryTest, DevicesShowAddressTextsTunnelTypesAndStates)
{
    StartFarside();
    ASSERT_EQ(Cli({QStringLiteral("login"), QStringLiteral("alice"), QStringLiteral("secret")}).exitCode, 0);
    const ProgramRun::Result r = Cli({QStringLiteral("devices"), QStringLiteral("GW-A001")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const std::vector<QStringList> rows = TableRows(r.out, QStringLiteral("ROW"));
    ASSERT_EQ(rows.size(), 5u) << r.out.toStdString();
    EXPECT_EQ(rows[0], QStringList({"1", "DEV-001", "电表", "RS485", "serial", "COM#,9600,8,N,1", "online"}));
    EXPECT_EQ(rows[1],
              QStringList({"2", "DEV-002", "Meter 2", "RS232", "serial", "COM#,19200,7,E,2", "offline"}));
    // "online" is present (false): the device counts as online whatever its value.
    EXPECT_EQ(rows[2],
              QStringList({"3", "DEV-003", "Drive", "RS485", "serial", "COM#,4800,8,O,1", "online"}));
    EXPECT_EQ(rows[3],
              QStringList({"4", "DEV-004", "PLC", "Ethernet", "port-forward", "192.168.1.20", "online"}));
    EXPECT_EQ(rows[4], QStringList({"5", "DEV-005", "Camera", "WiFi", "-", "10.0.0.5", "offline"}));
    EXPECT_TRUE(r.out.trimmed().endsWith(QStringLiteral("5 devices")));

    const ProgramRun::Result empty = Cli({QStringLiteral("devices"), QStringLiteral("GW-A002")});
    ASSERT_EQ(empty.exitCode, 0);
    EXPECT_TRUE(TableRows(empty.out, QStringLiteral("ROW")).empty());
    EXPECT_TRUE(empty.out.trimmed().endsWith(QStringLiteral("0 devices")));

    // Another account's gateway: the service's refusal text.
    const ProgramRun::Result foreign = Cli({QStringLiteral("devices"), QStringLiteral("GW-Z900")});
    EXPECT_EQ(foreign.exitCode, 1);
    EXPECT_TRUE(foreign.err.contains(QStringLiteral("网关不存在或不属于该账号")))
        << foreign.err.toStdString();
    EXPECT_FALSE(foreign.out.contains(QStringLiteral("ROW")));
}

TEST_F(CliInventoryTest, UnreachableServiceReportsCallFailed)
{
    // Nothing listens on the platconf's port: no far side is started.
    const ProgramRun::Result login =
        Cli({QStringLiteral("login"), QStringLiteral("alice"), QStringLiteral("secret")});
    EXPECT_EQ(login.exitCode, 1);
    EXPECT_TRUE(login.err.contains(QStringLiteral("调用失败"))) << login.err.toStdString();
    EXPECT_TRUE(login.out.isEmpty());
    // The start-up still settled a PC identifier, and no login was recorded.
    std::unique_ptr<CRequestLogin> cache = Cache();
    ASSERT_TRUE(cache);
    EXPECT_TRUE(cache->GetUserName().isEmpty());
    EXPECT_EQ(cache->GetPcId().size(), 20);

    const ProgramRun::Result gateways =
        Cli({QStringLiteral("gateways"), QStringLiteral("--user"), QStringLiteral("alice"),
             QStringLiteral("--password"), QStringLiteral("secret")});
    EXPECT_EQ(gateways.exitCode, 1);
    EXPECT_TRUE(gateways.err.contains(QStringLiteral("调用失败")));
}

TEST_F(CliInventoryTest, MissingInstallationIsReported)
{
    TempDir empty;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LUMETRA_HOME"), empty.Path());
    const QString cli = ProgramRun::BuiltProgram(QStringLiteral("lumetra-cli"));
    const ProgramRun::Result none = ProgramRun::Run(
        cli, {QStringLiteral("login"), QStringLiteral("alice"), QStringLiteral("secret")}, 30000, env);
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(none.err.contains(QStringLiteral("installation has no platconf with wsh/wsp")))
        << none.err.toStdString();
    EXPECT_TRUE(none.out.isEmpty());

    // A platconf without "wsp" is no installation either.
    empty.MakeDir(QStringLiteral("custom_resource"));
    ASSERT_TRUE(PlatconfBuilder()
                    .Text("wsh", "127.0.0.1")
                    .WriteTo(empty.FilePath(QStringLiteral("custom_resource/platconf"))));
    const ProgramRun::Result noPort = ProgramRun::Run(cli, {QStringLiteral("gateways")}, 30000, env);
    EXPECT_EQ(noPort.exitCode, 1);
    EXPECT_TRUE(noPort.err.contains(QStringLiteral("installation has no platconf with wsh/wsp")));
}

TEST_F(CliInventoryTest, WrongCommandLinesPrintUsage)
{
    // Checked before the installation is looked at: the home has no far side and
    // these must still be usage errors.
    struct Case
    {
        QStringList args;
        const char* text;
    };
    const Case cases[] = {
        {{}, "usage: lumetra-cli"},
        {{QStringLiteral("open-sesame")}, "unknown command 'open-sesame'"},
        {{QStringLiteral("--verbose")}, "unknown option '--verbose'"},
        {{QStringLiteral("gateways"), QStringLiteral("--bogus")}, "unknown option --bogus"},
        {{QStringLiteral("gateways"), QStringLiteral("--online"), QStringLiteral("--offline")},
         "exclude each other"},
        {{QStringLiteral("gateways"), QStringLiteral("--sn")}, "option --sn needs a value"},
        {{QStringLiteral("gateways"), QStringLiteral("--password"), QStringLiteral("p")},
         "--password needs --user"},
        {{QStringLiteral("devices")}, "GWSN"},
        {{QStringLiteral("devices"), QStringLiteral("A"), QStringLiteral("B")}, "too many arguments"},
        {{QStringLiteral("login"), QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")},
         "too many arguments"},
        {{QStringLiteral("login"), QStringLiteral("--remember=1")}, "takes no value"},
    };
    for (const Case& c : cases) {
        const ProgramRun::Result r = Cli(c.args);
        const std::string what = c.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(r.exitCode, 2) << what;
        EXPECT_TRUE((r.err + r.out).contains(QString::fromUtf8(c.text)))
            << what << " -> " << r.err.toStdString();
        EXPECT_TRUE((r.err + r.out).contains(QStringLiteral("usage: lumetra-cli"))) << what;
    }
    // Asking for help is not an error.
    for (const QStringList& args : {QStringList{QStringLiteral("--help")},
                                    QStringList{QStringLiteral("gateways"), QStringLiteral("--help")}}) {
        const ProgramRun::Result r = Cli(args);
        EXPECT_EQ(r.exitCode, 0) << args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(r.out.contains(QStringLiteral("usage: lumetra-cli")));
    }
    // Usage errors do not start the installation: no login cache was made.
    EXPECT_FALSE(QFile::exists(home.FilePath(QStringLiteral("licache"))));
}

} // namespace
