// lumetra-farside's command line and input files (a clear message and exit status 2
// for every bad argument, inventory or platconf) and its web service's answer to
// malformed requests on the wire.

#include "app/JsonPtr.h"
#include "support/FarsideProcess.h"
#include "support/FreePort.h"
#include "support/PlatconfBuilder.h"
#include "support/ProgramRun.h"
#include "support/TempDir.h"

#include <cjson/cJSON.h>
#include <gtest/gtest.h>
#include <httplib.h>

namespace {

class Farside : public ::testing::Test
{
protected:
    void SetUp() override
    {
        port = FreePort::Pick();
        ASSERT_GT(port, 0);
        platconf = dir.FilePath("platconf");
        ASSERT_TRUE(PlatconfBuilder().WebService(port).WriteTo(platconf));
        inventory = dir.Write("inventory.json", R"({"accounts":[{"userName":"u","password":"p","orgId":1,
          "newRoleId":1,"accountsId":1,"gateways":[{"gwSn":"G1","isOnline":true,"devices":[{"deviceSn":"D1"}]}]}]})");
    }

    // Runs the far side; expects exit status 2, no listening line and every one of `messages` on stderr.
    static void ExpectRefused(const QStringList& arguments, const QStringList& messages)
    {
        const ProgramRun::Result result =
            ProgramRun::Run(ProgramRun::BuiltProgram("lumetra-farside"), arguments);
        EXPECT_EQ(result.exitCode, 2) << result.err.toStdString();
        EXPECT_FALSE(result.out.contains("listening"));
        for (const QString& message : messages)
            EXPECT_TRUE(result.err.contains(message)) << "stderr: " << result.err.toStdString();
    }

    TempDir dir;
    int port = 0;
    QString platconf;
    QString inventory;
};

TEST_F(Farside, BadArgumentsAreRefusedWithTheUsage)
{
    const std::pair<QStringList, const char*> cases[] = {
        {{}, "lumetra-farside: missing --platconf FILE"},
        {{"--platconf"}, "option --platconf needs a value"},
        {{"--bogus"}, "unknown option --bogus"},
        {{"--platconf", "a", "--platconf", "b"}, "option --platconf given more than once"},
        {{"--platconf", "a", "--inventory", "b", "--control", "x"}, "option --control needs a port number"},
        {{"--platconf", "a", "--inventory", "b", "--web-only", "--control", "1"},
         "option --control switches faults of the broker services"},
    };
    for (const auto& [arguments, message] : cases)
        ExpectRefused(arguments, {message, "usage: lumetra-farside"});
    const ProgramRun::Result help = ProgramRun::Run(ProgramRun::BuiltProgram("lumetra-farside"), {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith("usage: lumetra-farside --platconf FILE --inventory FILE [--web-only]"));
    EXPECT_TRUE(help.out.contains("drop-after GW DEV BYTES")) << help.out.toStdString();
}

TEST_F(Farside, BadInventoriesAreRefusedNamingTheMember)
{
    const std::string account =
        R"({"accounts":[{"userName":"u","password":"p","orgId":1,"newRoleId":1,"accountsId":1,)";
    const std::pair<std::string, const char*> cases[] = {
        {"{\"accounts\": [\n  {\"userName\": }\n]}", "is not valid JSON at line 2"},
        {R"({"accounts": [], "extra": 1})", "extra: unknown member"},
        {account + R"("gateways":[{"gwSn":"G","devices":[{"deviceSn":"D","baud":"9600"}]}]}]})",
         "accounts[0].gateways[0].devices[0].baud: expected an integer number"},
        {account + R"("gateways":[{"gwSn":"G","devices":[{"deviceSn":"D","protocol":"modbus"}]}]}]})",
         "devices[0].protocol: expected a string holding a decimal number, got \"modbus\""},
        {account +
             R"("gateways":[{"gwSn":"G","devices":[{"deviceSn":"D","fault":{"answerDelayMs":-1}}]}]}]})",
         "devices[0].fault.answerDelayMs: expected 0..600000"},
        {account + R"("gateways":[{"gwSn":"G","devices":[{"deviceSn":"D","fault":{"slow":true}}]}]}]})",
         "devices[0].fault.slow: unknown member"},
        {account +
             R"("gateways":[]},{"userName":"u","password":"q","orgId":2,"newRoleId":1,"accountsId":2}]})",
         "accounts[1].userName: \"u\" appears twice"},
    };
    int index = 0;
    for (const auto& [json, message] : cases) {
        const QString path =
            dir.Write(QStringLiteral("bad-%1.json").arg(index++), QByteArray::fromStdString(json));
        ExpectRefused({"--platconf", platconf, "--inventory", path, "--web-only"},
                      {"lumetra-farside: inventory file " + path, QString::fromUtf8(message)});
    }
    ExpectRefused(
        {"--platconf", platconf, "--inventory", dir.FilePath("absent.json"), "--web-only"},
        {"cannot read inventory file " + dir.FilePath("absent.json") + ": No such file or directory"});
}

TEST_F(Farside, PlatconfWithoutAWebEndpointIsRefused)
{
    const QByteArray whole = PlatconfBuilder().Text("wsh", "127.0.0.1").Text("wsp", "18080").Build();
    const std::pair<QByteArray, const char*> cases[] = {
        {PlatconfBuilder().Text("wsp", "18080").Build(), "has no entry \"wsh\" (web-service host)"},
        {PlatconfBuilder().Text("wsh", "127.0.0.1").Text("wsp", "70000").Build(),
         "is not a port number (1-65535): \"70000\""},
        {whole.left(whole.size() - 3), " is damaged: "},
    };
    int index = 0;
    for (const auto& [bytes, message] : cases) {
        const QString path = dir.Write(QStringLiteral("platconf-%1").arg(index++), bytes);
        ExpectRefused({"--platconf", path, "--inventory", inventory, "--web-only"},
                      {"lumetra-farside: platconf file " + path, QString::fromUtf8(message)});
    }
    ExpectRefused({"--platconf", dir.FilePath("absent"), "--inventory", inventory},
                  {"cannot read platconf file " + dir.FilePath("absent") + ": No such file or directory"});
}

TEST_F(Farside, AGoodStartListensAndABusyPortEndsASecondWithStatusOne)
{
    FarsideProcess first;
    ASSERT_TRUE(first.Start(platconf, inventory)) << first.Error().toStdString();
    EXPECT_TRUE(first.Output().startsWith(
        QStringLiteral("web service listening on http://127.0.0.1:%1\n").arg(port)));
    EXPECT_EQ(first.ErrorOutput(), QString());
    const ProgramRun::Result second =
        ProgramRun::Run(ProgramRun::BuiltProgram("lumetra-farside"),
                        {"--platconf", platconf, "--inventory", inventory, "--web-only"});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_TRUE(
        second.err.contains(QStringLiteral("lumetra-farside: cannot listen on 127.0.0.1:%1").arg(port)))
        << second.err.toStdString();
    EXPECT_TRUE(first.IsRunning());
}

TEST_F(Farside, MalformedWebRequestsAreRefusedWithAFormatMessage)
{
    FarsideProcess farside;
    ASSERT_TRUE(farside.Start(platconf, inventory)) << farside.Error().toStdString();
    httplib::Client client(farside.WebUrl().toStdString());
    client.set_read_timeout(10);
    const std::tuple<const char*, const char*, const char*> cases[] = {
        // action, body, logged reason
        {"Login", "not json", "Login refused: body is not JSON"},
        {"Login", R"({"userName":"u"})", "Login refused: passwd is missing"},
        // ids the client sends as strings must come as strings, and the reverse
        {"QueryGateway", R"({"roleId":"1","newRoleId":1,"accountsId":"1"})",
         "QueryGateway refused: roleId is not an integer number"},
        {"QueryGateway", R"({"roleId":1,"newRoleId":1,"accountsId":"seven"})",
         "QueryGateway refused: accountsId is not a decimal number: \"seven\""},
        {"QueryDeviceByGw", R"({"orgId":1,"gwSn":"G1","accountsId":"1"})",
         "QueryDeviceByGw refused: orgId is not a string"},
    };
    for (const auto& [action, body, logged] : cases) {
        SCOPED_TRACE(std::string(action) + " " + body);
        const auto reply =
            client.Post((std::string("/CommonService/") + action).c_str(), body, "application/json");
        ASSERT_TRUE(bool(reply));
        const JsonPtr json(cJSON_Parse(reply->body.c_str()));
        EXPECT_EQ(cJSON_GetNumberValue(cJSON_GetObjectItem(json.get(), "flag")), 0) << reply->body;
        EXPECT_STREQ(cJSON_GetStringValue(cJSON_GetObjectItem(json.get(), "msg")), "请求格式错误");
        EXPECT_TRUE(farside.WaitForOutput(QString::fromUtf8(logged))) << farside.Output().toStdString();
    }
    EXPECT_EQ(client.Post("/CommonService/DeleteEverything", "{}", "application/json")->status, 404);
}

} // namespace
