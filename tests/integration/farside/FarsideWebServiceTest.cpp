// The far side's web service as it answers on the wire.

#include "support/FarsideProcess.h"
#include "support/FreePort.h"
#include "support/PlatconfBuilder.h"
#include "support/ProgramRun.h"
#include "support/TempDir.h"

#include <cjson/cJSON.h>
#include <gtest/gtest.h>
#include <httplib.h>

namespace {

const char kDevice[] = R"({"deviceId": 1, "id": "c1", "deviceName": "Press", "deviceSn": "SN-C1",
  "ifaceTypeName": "RS485", "online": true, "ifaceType": 2, "ip": "", "port": 0, "com": "COM4", "baud": 9600,
  "databit": 8, "parity": 2, "stopbit": 1, "timeout": 500, "protocol": "1", "tunType": 2, "tunConnectType": 1})";

// A reply as it came over the wire (status 0: no connection).
struct Reply
{
    int status = 0;
    std::string contentType;
    std::string body;
    std::shared_ptr<cJSON> json;

    const cJSON* Member(const char* name) const { return cJSON_GetObjectItemCaseSensitive(json.get(), name); }
    int Flag() const { return cJSON_IsNumber(Member("flag")) ? Member("flag")->valueint : -1; }
};

// Whether the JSON text `expected` and `actual` are equal, member types included.
::testing::AssertionResult SameJson(const std::string& expected, const cJSON* actual)
{
    std::shared_ptr<cJSON> want(cJSON_Parse(expected.c_str()), &cJSON_Delete);
    char* text = actual ? cJSON_PrintUnformatted(actual) : nullptr;
    const std::string got = text ? text : "(nothing)";
    cJSON_free(text);
    if (want && cJSON_Compare(want.get(), actual, true))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got " << got;
}

class FarsideWebServiceTest : public ::testing::Test
{
protected:
    void Start(const QString& inventory)
    {
        const int port = FreePort::Pick();
        ASSERT_GT(port, 0);
        const QString platconf = dir.FilePath("platconf");
        ASSERT_TRUE(
            PlatconfBuilder().Text("wsh", "127.0.0.1").Text("wsp", std::to_string(port)).WriteTo(platconf));
        ASSERT_TRUE(farside.Start(platconf, inventory)) << farside.Error().toStdString();
    }

    // POSTs `body` to /CommonService/<action> with a plain HTTP client.
    Reply Post(const std::string& action, const std::string& body)
    {
        httplib::Client client(farside.WebUrl().toStdString());
        client.set_read_timeout(10);
        const auto result = client.Post(("/CommonService/" + action).c_str(), body, "application/json");
        if (!result)
            return {};
        return {result->status, result->get_header_value("Content-Type"), result->body,
                std::shared_ptr<cJSON>(cJSON_Parse(result->body.c_str()), &cJSON_Delete)};
    }

    void SetUp() override
    {
        Start(dir.Write("inventory.json", QByteArray(R"({"accounts": [
          {"userName": "carol", "password": "pw-1", "orgId": 51, "newRoleId": 5, "accountsId": 700,
           "gateways": [{"gwSn": "GW-C1", "gwName": "Press line", "nodeName": "Hall 1", "isOnline": true,
                         "devices": [)") + kDevice +
                                              R"(]}, {"gwSn": "GW-C2", "isOnline": false}]}]})"));
    }

    TempDir dir;
    FarsideProcess farside;
};

TEST_F(FarsideWebServiceTest, RepliesCarryTheMemberTypesTheClientReads)
{
    const Reply login = Post("Login", R"({"userName":"carol","passwd":"pw-1"})");
    EXPECT_EQ(login.status, 200);
    EXPECT_EQ(login.contentType, "application/json; charset=utf-8");
    EXPECT_TRUE(SameJson(R"({"flag":1,"msg":"登录成功","orgId":51,"newRoleId":5,"accountsId":700})",
                         login.json.get()));

    // Members the inventory leaves out are left out of the reply.
    const Reply gateways =
        Post("QueryGateway",
             R"({"roleId":5,"newRoleId":5,"gwSn":"","gwName":"","nodeName":"","accountsId":"700"})");
    EXPECT_EQ(gateways.contentType, "application/json; charset=utf-8");
    EXPECT_TRUE(SameJson(R"([{"gwSn":"GW-C1","gwName":"Press line","nodeName":"Hall 1","isOnline":true},
                             {"gwSn":"GW-C2","isOnline":false}])",
                         gateways.Member("gwList")));
    EXPECT_EQ(cJSON_GetNumberValue(gateways.Member("count")), 2);

    const Reply devices = Post("QueryDeviceByGw", R"({"orgId":"51","gwSn":"GW-C1","accountsId":"700"})");
    EXPECT_EQ(devices.Flag(), 1);
    EXPECT_EQ(cJSON_GetNumberValue(devices.Member("count")), 1);
    EXPECT_TRUE(SameJson(kDevice, cJSON_GetArrayItem(devices.Member("devList"), 0)));
}

TEST_F(FarsideWebServiceTest, MalformedRequestsAreRefusedWithAFormatMessage)
{
    const std::tuple<const char*, const char*, const char*> cases[] = {
        // action, body, logged reason
        {"Login", "not json", "Login refused: body is not JSON"},
        {"Login", "[1,2]", "Login refused: body is not a JSON object"},
        {"Login", R"({"userName":"carol"})", "Login refused: passwd is missing"},
        {"Login", R"({"userName":7,"passwd":"pw-1"})", "Login refused: userName is not a string"},
        // ids the client sends as strings must come as strings, and the reverse
        {"QueryGateway", R"({"roleId":5,"newRoleId":5,"accountsId":700})",
         "QueryGateway refused: accountsId is not a string"},
        {"QueryGateway", R"({"roleId":"5","newRoleId":5,"accountsId":"700"})",
         "QueryGateway refused: roleId is not an integer number"},
        {"QueryGateway", R"({"roleId":5,"newRoleId":5,"accountsId":"seven"})",
         "QueryGateway refused: accountsId is not a decimal number: \"seven\""},
        {"QueryDeviceByGw", R"({"orgId":51,"gwSn":"GW-C1","accountsId":"700"})",
         "QueryDeviceByGw refused: orgId is not a string"},
    };
    for (const auto& [action, body, logged] : cases) {
        SCOPED_TRACE(std::string(action) + " " + body);
        const Reply reply = Post(action, body);
        EXPECT_EQ(reply.Flag(), 0) << reply.body;
        EXPECT_TRUE(SameJson("\"请求格式错误\"", reply.Member("msg")));
        EXPECT_TRUE(farside.WaitForOutput(QString::fromUtf8(logged))) << farside.Output().toStdString();
    }
    EXPECT_EQ(Post("DeleteEverything", "{}").status, 404);
}

TEST_F(FarsideWebServiceTest, StopsCleanlyOnSigterm)
{
    EXPECT_EQ(farside.Stop(), 0);
    EXPECT_TRUE(farside.Output().contains("stopped on SIGTERM"));
    EXPECT_EQ(Post("Login", "{}").status, 0);
}

TEST_F(FarsideWebServiceTest, DemoInventoryLoadsAndItsAccountSignsIn)
{
    farside.Stop();
    Start(ProgramRun::SourcePath("demo/inventory.json"));
    const Reply login = Post("Login", R"({"userName":"demo","passwd":"demo123"})");
    ASSERT_EQ(login.Flag(), 1) << login.body;
    const auto id = [&](const char* name) { return std::to_string(login.Member(name)->valueint); };
    const Reply gateways =
        Post("QueryGateway", "{\"roleId\":" + id("newRoleId") + ",\"newRoleId\":" + id("newRoleId") +
                                 ",\"accountsId\":\"" + id("accountsId") + "\"}");
    EXPECT_EQ(gateways.Flag(), 1) << gateways.body;
    EXPECT_GT(cJSON_GetArraySize(gateways.Member("gwList")), 0) << gateways.body;
}

} // namespace
