// lumetra-farside's command line and input files: usage, and a clear message with
// exit status 2 for every bad argument, inventory or platconf.

#include "support/FarsideProcess.h"
#include "support/FreePort.h"
#include "support/PlatconfBuilder.h"
#include "support/ProgramRun.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char kGoodInventory[] = R"({"accounts":[{"userName":"u","password":"p","orgId":1,"newRoleId":1,
  "accountsId":1,"gateways":[{"gwSn":"G1","isOnline":true,"devices":[{"deviceSn":"D1"}]}]}]})";

class FarsideCommandLineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.IsValid());
        port = FreePort::Pick();
        ASSERT_GT(port, 0);
        platconf = dir.FilePath("platconf");
        ASSERT_TRUE(
            PlatconfBuilder().Text("wsh", "127.0.0.1").Text("wsp", std::to_string(port)).WriteTo(platconf));
        inventory = dir.Write("inventory.json", kGoodInventory);
    }

    static ProgramRun::Result Farside(const QStringList& arguments)
    {
        return ProgramRun::Run(ProgramRun::BuiltProgram("lumetra-farside"), arguments);
    }

    ProgramRun::Result WithFiles(const QString& platconfPath, const QString& inventoryPath)
    {
        return Farside({"--platconf", platconfPath, "--inventory", inventoryPath, "--web-only"});
    }

    TempDir dir;
    int port = 0;
    QString platconf;
    QString inventory;
};

// Expects exit status 2, nothing on standard output, and `message` on standard error.
void ExpectRefused(const ProgramRun::Result& result, const QString& message)
{
    ASSERT_TRUE(result.started) << result.err.toStdString();
    EXPECT_FALSE(result.timedOut);
    EXPECT_FALSE(result.crashed);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(result.err.contains(message)) << "stderr: " << result.err.toStdString();
    EXPECT_FALSE(result.out.contains("listening"));
}

TEST_F(FarsideCommandLineTest, HelpPrintsTheUsage)
{
    ProgramRun::Result result = Farside({"--help"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(
        result.out.startsWith("usage: lumetra-farside --platconf FILE --inventory FILE [--web-only]"));
    EXPECT_TRUE(result.out.contains("--web-only"));
}

TEST_F(FarsideCommandLineTest, BadArgumentsAreRefused)
{
    const struct
    {
        QStringList arguments;
        const char* message;
    } cases[] = {
        {{}, "lumetra-farside: missing --platconf FILE"},
        {{"--platconf", "x"}, "lumetra-farside: missing --inventory FILE"},
        {{"--inventory", "x"}, "lumetra-farside: missing --platconf FILE"},
        {{"--platconf"}, "option --platconf needs a value"},
        {{"--platconf="}, "option --platconf needs a non-empty value"},
        {{"--bogus"}, "unknown option --bogus"},
        {{"stray"}, "unexpected argument \"stray\""},
        {{"--web-only=yes"}, "option --web-only takes no value"},
        {{"--platconf", "a", "--platconf", "b"}, "option --platconf given more than once"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        ProgramRun::Result result = Farside(c.arguments);
        ExpectRefused(result, c.message);
        EXPECT_TRUE(result.err.contains("usage: lumetra-farside"));
    }
}

TEST_F(FarsideCommandLineTest, BadInventoriesAreRefusedNamingTheMember)
{
    const struct
    {
        const char* json;
        const char* message;
    } cases[] = {
        {"{\"accounts\": [\n  {\"userName\": }\n]}", "is not valid JSON at line 2"},
        {"", "is not valid JSON"},
        {R"({"accounts": []} trailing)", "is not valid JSON"},
        {"[]", ": top level: expected an object"},
        {"{}", ": accounts: missing"},
        {R"({"accounts": {}})", "accounts: expected an array"},
        {R"({"accounts": [], "extra": 1})", "extra: unknown member"},
        {R"({"accounts":[{"password":"p","orgId":1,"newRoleId":1,"accountsId":1}]})",
         "accounts[0].userName: missing"},
        {R"({"accounts":[{"userName":"u","password":"p","orgId":"1","newRoleId":1,"accountsId":1}]})",
         "accounts[0].orgId: expected an integer number"},
        {R"({"accounts":[{"userName":"u","password":"p","orgId":1,"newRoleId":1.5,"accountsId":1}]})",
         "accounts[0].newRoleId: expected an integer number"},
        {R"({"accounts":[{"userName":"u","pasword":"p","orgId":1,"newRoleId":1,"accountsId":1}]})",
         "accounts[0].pasword: unknown member"},
        {R"({"accounts":[{"userName":"u","password":"p","orgId":1,"newRoleId":1,"accountsId":1,
             "gateways":[{"gwSn":"G","isOnline":1}]}]})",
         "accounts[0].gateways[0].isOnline: expected true or false"},
        {R"({"accounts":[{"userName":"u","password":"p","orgId":1,"newRoleId":1,"accountsId":1,
             "gateways":[{"gwSn":""}]}]})",
         "accounts[0].gateways[0].gwSn: must not be empty"},
        {R"({"accounts":[{"userName":"u","password":"p","orgId":1,"newRoleId":1,"accountsId":1,
             "gateways":[{"gwSn":"G","devices":[{"deviceSn":"D","baud":"9600"}]}]}]})",
         "accounts[0].gateways[0].devices[0].baud: expected an integer number"},
        {R"({"accounts":[{"userName":"u","password":"p","orgId":1,"newRoleId":1,"accountsId":1,
             "gateways":[{"gwSn":"G","devices":[{"deviceSn":"D","protocol":1}]}]}]})",
         "accounts[0].gateways[0].devices[0].protocol: expected a string"},
        {R"({"accounts":[{"userName":"u","password":"p","orgId":1,"newRoleId":1,"accountsId":1,
             "gateways":[{"gwSn":"G","devices":[{"deviceSn":"D","protocol":"modbus"}]}]}]})",
         "devices[0].protocol: expected a string holding a decimal number, got \"modbus\""},
        {R"({"accounts":[{"userName":"u","password":"p","orgId":1,"newRoleId":1,"accountsId":1,
             "gateways":[{"gwSn":"G","devices":[{"deviceSn":"D","online":"yes"}]}]}]})",
         "devices[0].online: expected true or false"},
        {R"({"accounts":[{"userName":"u","password":"p","orgId":1,"newRoleId":1,"accountsId":1,
             "gateways":[{"gwSn":"G","devices":[{"deviceName":"no serial"}]}]}]})",
         "accounts[0].gateways[0].devices[0].deviceSn: missing"},
        {R"({"accounts":[{"userName":"u","password":"p","orgId":1,"newRoleId":1,"accountsId":1,
             "gateways":[{"gwSn":"G","devices":[{"deviceSn":"D"},{"deviceSn":"D"}]}]}]})",
         "devices[1].deviceSn: \"D\" appears twice in this gateway"},
        {R"({"accounts":[{"userName":"u","password":"p","orgId":1,"newRoleId":1,"accountsId":1,
             "gateways":[{"gwSn":"G"}]},
            {"userName":"v","password":"p","orgId":2,"newRoleId":1,"accountsId":2,"gateways":[{"gwSn":"G"}]}]})",
         "accounts[1].gateways[0].gwSn: \"G\" appears twice"},
        {R"({"accounts":[{"userName":"u","password":"p","orgId":1,"newRoleId":1,"accountsId":1},
            {"userName":"u","password":"q","orgId":2,"newRoleId":1,"accountsId":2}]})",
         "accounts[1].userName: \"u\" appears twice"},
        {R"({"accounts":[{"userName":"u","password":"p","orgId":1,"newRoleId":1,"accountsId":1},
            {"userName":"v","password":"q","orgId":2,"newRoleId":1,"accountsId":1}]})",
         "accounts[1].accountsId: 1 appears twice"},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        QString path = dir.Write(QStringLiteral("bad-%1.json").arg(index++), c.json);
        ProgramRun::Result result = WithFiles(platconf, path);
        ExpectRefused(result, "lumetra-farside: inventory file " + path);
        EXPECT_TRUE(result.err.contains(QString::fromUtf8(c.message)))
            << "stderr: " << result.err.toStdString();
    }

    ExpectRefused(WithFiles(platconf, dir.FilePath("absent.json")), "cannot read inventory file " +
                                                                        dir.FilePath("absent.json") +
                                                                        ": No such file or directory");
}

TEST_F(FarsideCommandLineTest, PlatconfWithoutAWebEndpointIsRefused)
{
    const struct
    {
        PlatconfBuilder builder;
        const char* message;
    } cases[] = {
        {PlatconfBuilder().Text("wsp", "18080").Text("bh", "127.0.0.1"),
         "has no entry \"wsh\" (web-service host)"},
        {PlatconfBuilder().Text("wsh", "").Text("wsp", "18080"), "has no entry \"wsh\" (web-service host)"},
        {PlatconfBuilder().Text("wsh", "127.0.0.1"), "has no entry \"wsp\""},
        {PlatconfBuilder().Text("wsh", "127.0.0.1").Text("wsp", "http"),
         "is not a port number (1-65535): \"http\""},
        {PlatconfBuilder().Text("wsh", "127.0.0.1").Text("wsp", "70000"),
         "is not a port number (1-65535): \"70000\""},
        {PlatconfBuilder().Text("wsh", "127.0.0.1").Text("wsp", "0"),
         "is not a port number (1-65535): \"0\""},
        {PlatconfBuilder().Text("WSH", "127.0.0.1").Text("wsp", "18080"), "has no entry \"wsh\""},
        {PlatconfBuilder(), "has no entry \"wsh\""},
    };
    int index = 0;
    for (const auto& c : cases) {
        QString path = dir.FilePath(QStringLiteral("platconf-%1").arg(index++));
        ASSERT_TRUE(c.builder.WriteTo(path));
        SCOPED_TRACE(path.toStdString());
        ProgramRun::Result result = WithFiles(path, inventory);
        ExpectRefused(result, "lumetra-farside: platconf file " + path);
        ExpectRefused(result, QString::fromUtf8(c.message));
    }

    // A file cut in the middle of an entry.
    QByteArray whole = PlatconfBuilder().Text("wsh", "127.0.0.1").Text("wsp", "18080").Build();
    QString cut = dir.Write("platconf-cut", whole.left(whole.size() - 3));
    ExpectRefused(WithFiles(cut, inventory), "platconf file " + cut + " is damaged: ");

    ExpectRefused(WithFiles(dir.FilePath("absent"), inventory),
                  "cannot read platconf file " + dir.FilePath("absent") + ": No such file or directory");
}

TEST_F(FarsideCommandLineTest, ABusyPortEndsTheProgramWithStatusOne)
{
    // Hold the port with a listening socket of our own.
    int holder = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(holder, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    bool holding =
        bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(holder, 1) == 0;
    ProgramRun::Result result;
    if (holding)
        result = WithFiles(platconf, inventory);
    close(holder);
    ASSERT_TRUE(holding) << "could not hold port " << port;
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(
        result.err.contains(QStringLiteral("lumetra-farside: cannot listen on 127.0.0.1:%1").arg(port)))
        << result.err.toStdString();
}

TEST_F(FarsideCommandLineTest, ASecondServiceOnTheSamePortIsRefused)
{
    FarsideProcess first;
    ASSERT_TRUE(first.Start(platconf, inventory)) << first.Error().toStdString();
    ProgramRun::Result second = WithFiles(platconf, inventory);
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_TRUE(second.err.contains(QStringLiteral("cannot listen on 127.0.0.1:%1").arg(port)))
        << second.err.toStdString();
    EXPECT_TRUE(first.IsRunning());
}

TEST_F(FarsideCommandLineTest, AGoodStartPrintsTheListeningLineFirst)
{
    FarsideProcess farside;
    ASSERT_TRUE(farside.Start(platconf, inventory)) << farside.Error().toStdString();
    EXPECT_TRUE(farside.Output().startsWith(
        QStringLiteral("web service listening on http://127.0.0.1:%1\n").arg(port)));
    EXPECT_EQ(farside.ErrorOutput(), QString());
}

} // namespace
