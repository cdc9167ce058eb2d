// lumetra-cli run as a real process against a real lumetra-farside on loopback.

#include "CliFixture.h"
#include "app/CRequestLogin.h"
#include "support/ScopedEnv.h"

#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

namespace {

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

// The rows between the table header and the count line; cells are two spaces apart.
std::vector<QStringList> TableRows(const QString& out, const QString& header)
{
    const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
    const qsizetype start = lines.indexOf(QRegularExpression("^" + header + ".*"));
    EXPECT_GE(start, 0) << "no table in: " << out.toStdString();
    std::vector<QStringList> rows;
    for (qsizetype i = start + 1; start >= 0 && i < lines.size() - 1; ++i)
        rows.push_back(lines[i].trimmed().split(QRegularExpression("\\s{2,}")));
    return rows;
}

QString Field(const QString& out, const QString& name)
{
    return QRegularExpression("^" + name + "\\s+(\\S+)$", QRegularExpression::MultilineOption)
        .match(out)
        .captured(1);
}

class CliInventoryTest : public CliFixture
{
protected:
    void StartFarside() { CliFixture::StartFarside(kInventory); }

    QByteArray CacheBytes() { return TempDir::Read(home.FilePath("licache")); }
};

TEST_F(CliInventoryTest, LoginPrintsTheAccountAndCachesOnlyAcceptedLogins)
{
    StartFarside();
    const ProgramRun::Result first = Cli({"login", "张工", "密码 123", "--remember"});
    ASSERT_EQ(first.exitCode, 0) << first.err.toStdString();
    for (const char* field : {"userName 张工", "orgId 7", "newRoleId 5", "accountsId 77", "remember yes"})
        EXPECT_EQ(Field(first.out, QString(field).section(' ', 0, 0)), QString(field).section(' ', 1));
    const QString pcId = Field(first.out, "pcId");
    EXPECT_TRUE(QRegularExpression("^[0-9]{20}$").match(pcId).hasMatch()) << pcId.toStdString();
    std::unique_ptr<CRequestLogin> cache = CRequestLogin::Deserialize(CacheBytes());
    ASSERT_TRUE(cache);
    EXPECT_EQ(cache->GetUserName(), "张工");
    EXPECT_EQ(cache->GetPassword(), "密码 123");
    EXPECT_EQ(cache->GetRemember(), 1);
    EXPECT_EQ(cache->GetPcId(), pcId);

    // The remembered password stands in for an omitted one; the PC id stays.
    const ProgramRun::Result second = Cli({"login", "张工"});
    ASSERT_EQ(second.exitCode, 0) << second.err.toStdString();
    EXPECT_EQ(Field(second.out, "pcId"), pcId);
    const ProgramRun::Result third = Cli({"login", "alice", "secret"});
    ASSERT_EQ(third.exitCode, 0) << third.err.toStdString();
    EXPECT_EQ(Field(third.out, "remember"), "no");
    EXPECT_EQ(Field(third.out, "pcId"), pcId);
    cache = CRequestLogin::Deserialize(CacheBytes());
    EXPECT_TRUE(cache && cache->GetUserName() == "alice" && cache->GetRemember() == 0);

    // A refused login shows the service's text and leaves the cache alone.
    const QByteArray before = CacheBytes();
    const ProgramRun::Result wrong = Cli({"login", "alice", "guess", "--remember"});
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_TRUE(wrong.err.contains("用户名或密码错误")) << wrong.err.toStdString();
    EXPECT_FALSE(wrong.out.contains("orgId"));
    EXPECT_EQ(CacheBytes(), before);
}

TEST_F(CliInventoryTest, EmptyFieldsAreRefusedBeforeTheServiceIsAsked)
{
    StartFarside();
    const std::pair<QStringList, const char*> cases[] = {
        {{"login"}, "用户名不能为空！"},
        {{"login", "", "secret"}, "用户名不能为空！"},
        {{"login", "alice", ""}, "密码不能为空！"},
        {{"login", "alice"}, "密码不能为空！"},
    };
    for (const auto& [args, message] : cases) {
        const ProgramRun::Result r = Cli(args);
        EXPECT_EQ(r.exitCode, 1) << args.join('|').toStdString();
        EXPECT_EQ(r.err.trimmed(), QString::fromUtf8(message)) << args.join('|').toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    // Only the real login below reaches the service.
    ASSERT_EQ(Cli({"login", "alice", "secret"}).exitCode, 0);
    EXPECT_TRUE(farside.WaitForOutput("Login user=\"alice\" flag=1", 5000));
    EXPECT_EQ(farside.Output().count("Login "), 1) << farside.Output().toStdString();
}

// The program's own messages follow LUMETRA_LANG and the locale; the service's
// messages are printed as the service wrote them.
TEST_F(CliInventoryTest, MessagesAreInTheLanguageOfTheEnvironment)
{
    StartFarside();
    struct Case
    {
        std::optional<std::string> lumetraLang, lang;
        const char* emptyUser;
    };
    const Case cases[] = {{"en", "zh_CN.UTF-8", "The user name must not be empty!"},
                          {std::nullopt, "de_DE.UTF-8", "The user name must not be empty!"},
                          {std::nullopt, "zh_CN.UTF-8", "用户名不能为空！"},
                          {"zh", "en_US.UTF-8", "用户名不能为空！"}};
    ScopedEnv language("LANGUAGE", std::nullopt);
    ScopedEnv all("LC_ALL", std::nullopt);
    ScopedEnv messages("LC_MESSAGES", std::nullopt);
    for (const Case& c : cases) {
        ScopedEnv lumetraLang("LUMETRA_LANG", c.lumetraLang);
        ScopedEnv lang("LANG", c.lang);
        const ProgramRun::Result r = Cli({"login", "", "secret"});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err.trimmed(), QString::fromUtf8(c.emptyUser)) << c.lang.value_or("");
    }
    ScopedEnv english("LUMETRA_LANG", "en");
    const ProgramRun::Result password = Cli({"login", "alice", ""});
    EXPECT_EQ(password.err.trimmed(), QStringLiteral("The password must not be empty!"));
    const ProgramRun::Result wrong = Cli({"login", "alice", "guess"});
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_TRUE(wrong.err.contains(QString::fromUtf8("用户名或密码错误"))) << wrong.err.toStdString();
}

TEST_F(CliInventoryTest, GatewaysListTheAccountWithFilters)
{
    StartFarside();
    const ProgramRun::Result signedOut = Cli({"gateways"});
    EXPECT_EQ(signedOut.exitCode, 1);
    EXPECT_TRUE(signedOut.err.contains("run 'lumetra-cli login")) << signedOut.err.toStdString();

    ASSERT_EQ(Cli({"login", "alice", "secret"}).exitCode, 0);
    const ProgramRun::Result all = Cli({"gateways"});
    ASSERT_EQ(all.exitCode, 0) << all.err.toStdString();
    const std::vector<QStringList> rows = {{"GW-A001", "一号网关", "厂区", "online"},
                                           {"GW-A002", "Pump", "North", "offline"},
                                           {"GW-B100", "Line B", "South", "online"}};
    EXPECT_EQ(TableRows(all.out, "SERIAL"), rows) << all.out.toStdString();

    // The last case signs in as another user without touching the recorded login.
    const QByteArray cache = CacheBytes();
    const std::pair<QStringList, QStringList> cases[] = {
        {{"--online"}, {"GW-A001", "GW-B100"}},
        {{"--offline"}, {"GW-A002"}},
        {{"--sn=A00", "--online"}, {"GW-A001"}},
        {{"--name", "一号"}, {"GW-A001"}},
        {{"--node", "South"}, {"GW-B100"}},
        {{"--sn", "nothing"}, {}},
        {{"--user", "张工", "--password", "密码 123"}, {"GW-Z900"}},
    };
    for (const auto& [args, serials] : cases) {
        const ProgramRun::Result r = Cli(QStringList{"gateways"} + args);
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        QStringList listed;
        for (const QStringList& row : TableRows(r.out, "SERIAL"))
            listed << row.value(0);
        EXPECT_EQ(listed, serials) << args.join(' ').toStdString();
        EXPECT_TRUE(r.out.trimmed().endsWith(
            serials.size() == 1 ? QString("1 gateway") : QString("%1 gateways").arg(serials.size())))
            << r.out.toStdString();
    }
    EXPECT_EQ(CacheBytes(), cache);
}

TEST_F(CliInventoryTest, DevicesShowAddressTextsTunnelTypesAndStates)
{
    StartFarside();
    ASSERT_EQ(Cli({"login", "alice", "secret"}).exitCode, 0);
    const ProgramRun::Result r = Cli({"devices", "GW-A001"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    // DEV-003 has "online" (false): present counts as online whatever its value.
    const std::vector<QStringList> rows = {
        {"1", "DEV-001", "电表", "RS485", "serial", "COM#,9600,8,N,1", "online"},
        {"2", "DEV-002", "Meter 2", "RS232", "serial", "COM#,19200,7,E,2", "offline"},
        {"3", "DEV-003", "Drive", "RS485", "serial", "COM#,4800,8,O,1", "online"},
        {"4", "DEV-004", "PLC", "Ethernet", "port-forward", "192.168.1.20", "online"},
        {"5", "DEV-005", "Camera", "WiFi", "-", "10.0.0.5", "offline"}};
    EXPECT_EQ(TableRows(r.out, "ROW"), rows) << r.out.toStdString();
    EXPECT_TRUE(r.out.trimmed().endsWith("5 devices"));

    const ProgramRun::Result foreign = Cli({"devices", "GW-Z900"});
    EXPECT_EQ(foreign.exitCode, 1);
    EXPECT_TRUE(foreign.err.contains("网关不存在或不属于该账号")) << foreign.err.toStdString();
}

TEST_F(CliInventoryTest, UnreachableServiceOrMissingInstallationIsReported)
{
    // No far side listens on the platconf's port.
    const ProgramRun::Result login = Cli({"login", "alice", "secret"});
    EXPECT_EQ(login.exitCode, 1);
    EXPECT_TRUE(login.err.contains("调用失败")) << login.err.toStdString();
    // The PC id was settled, but no login recorded.
    const std::unique_ptr<CRequestLogin> cache = CRequestLogin::Deserialize(CacheBytes());
    EXPECT_TRUE(cache && cache->GetUserName().isEmpty() && cache->GetPcId().size() == 20);

    TempDir empty;
    const ProgramRun::Result none = Cli({"login", "alice", "secret"}, {}, empty.Path());
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(none.err.contains("installation has no platconf with wsh/wsp")) << none.err.toStdString();
}

TEST_F(CliInventoryTest, WrongCommandLinesPrintUsageWithStatus2)
{
    const std::pair<QStringList, const char*> cases[] = {
        {{}, "usage: lumetra-cli"},
        {{"open-sesame"}, "unknown command 'open-sesame'"},
        {{"gateways", "--bogus"}, "unknown option --bogus"},
        {{"gateways", "--online", "--offline"}, "exclude each other"},
        {{"gateways", "--sn"}, "option --sn needs a value"},
        {{"gateways", "--password", "p"}, "--password needs --user"},
        {{"devices", "GW", "--password-stdin"}, "--password-stdin needs --user"},
        {{"gateways", "--user", "u", "--password", "p", "--password-stdin"}, "exclude each other"},
        {{"login", "a", "b", "--password-stdin"}, "PASSWORD and --password-stdin exclude each other"},
        {{"devices"}, "GWSN"},
        {{"login", "a", "b", "c"}, "too many arguments"},
    };
    for (const auto& [args, text] : cases) {
        const ProgramRun::Result r = Cli(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(text)) << args.join(' ').toStdString() << " -> " << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("usage: lumetra-cli")) << args.join(' ').toStdString();
    }
    const ProgramRun::Result help = Cli({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains("usage: lumetra-cli"));
    // Usage errors do not start the installation: no login cache was made.
    EXPECT_FALSE(QFile::exists(home.FilePath("licache")));
}

} // namespace
