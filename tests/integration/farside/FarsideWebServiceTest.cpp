// The far side's web service as it answers on the wire: member types, content
// type, refused requests, the request log and a clean stop on a signal.

#include "RawService.h"
#include "support/FarsideProcess.h"
#include "support/FreePort.h"
#include "support/PlatconfBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

const char kInventory[] = R"({"accounts": [
  {"userName": "carol", "password": "pw-1", "orgId": 51, "newRoleId": 5, "accountsId": 700,
   "gateways": [
     {"gwSn": "GW-C1", "gwName": "Press line", "nodeName": "Hall 1", "isOnline": true,
      "devices": [
        {"deviceId": 1, "id": "c1", "deviceName": "Press", "deviceSn": "SN-C1", "ifaceTypeName": "RS485",
         "online": true, "ifaceType": 2, "ip": "", "port": 0, "com": "COM4", "baud": 9600, "databit": 8,
         "parity": 2, "stopbit": 1, "timeout": 500, "protocol": "1", "tunType": 2, "tunConnectType": 1}
      ]},
     {"gwSn": "GW-C2", "isOnline": false}
   ]}
]})";

class FarsideWebServiceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.IsValid());
        int port = FreePort::Pick();
        ASSERT_GT(port, 0);
        QString platconf = dir.FilePath("platconf");
        ASSERT_TRUE(
            PlatconfBuilder().Text("wsh", "127.0.0.1").Text("wsp", std::to_string(port)).WriteTo(platconf));
        QString inventory = dir.Write("inventory.json", kInventory);
        ASSERT_TRUE(farside.Start(platconf, inventory)) << farside.Error().toStdString();
        service = std::make_unique<RawService>(farside.WebUrl().toStdString());
    }

    TempDir dir;
    FarsideProcess farside;
    std::unique_ptr<RawService> service;
};

bool IsInteger(const cJSON* item, int value)
{
    return cJSON_IsNumber(item) && item->valuedouble == value;
}

bool IsText(const cJSON* item, const char* value)
{
    return cJSON_IsString(item) && std::string(item->valuestring) == value;
}

TEST_F(FarsideWebServiceTest, RepliesAreJsonWithTheMemberTypesTheClientReads)
{
    RawService::Reply login = service->Post("Login", R"({"userName":"carol","passwd":"pw-1"})");
    ASSERT_TRUE(login.transportOk);
    EXPECT_EQ(login.status, 200);
    EXPECT_EQ(login.contentType, "application/json; charset=utf-8");
    ASSERT_TRUE(login.json) << login.body;
    EXPECT_TRUE(IsInteger(login.Member("flag"), 1));
    EXPECT_TRUE(IsText(login.Member("msg"), "登录成功"));
    EXPECT_TRUE(IsInteger(login.Member("orgId"), 51));
    EXPECT_TRUE(IsInteger(login.Member("newRoleId"), 5));
    EXPECT_TRUE(IsInteger(login.Member("accountsId"), 700));

    RawService::Reply gateways =
        service->Post("QueryGateway",
                      R"({"roleId":5,"newRoleId":5,"gwSn":"","gwName":"","nodeName":"","accountsId":"700"})");
    ASSERT_TRUE(gateways.json) << gateways.body;
    EXPECT_EQ(gateways.contentType, "application/json; charset=utf-8");
    EXPECT_TRUE(IsInteger(gateways.Member("count"), 2));
    const cJSON* list = gateways.Member("gwList");
    ASSERT_TRUE(cJSON_IsArray(list));
    ASSERT_EQ(cJSON_GetArraySize(list), 2);
    const cJSON* first = cJSON_GetArrayItem(list, 0);
    EXPECT_TRUE(IsText(cJSON_GetObjectItemCaseSensitive(first, "gwSn"), "GW-C1"));
    EXPECT_TRUE(IsText(cJSON_GetObjectItemCaseSensitive(first, "gwName"), "Press line"));
    EXPECT_TRUE(IsText(cJSON_GetObjectItemCaseSensitive(first, "nodeName"), "Hall 1"));
    EXPECT_TRUE(cJSON_IsTrue(cJSON_GetObjectItemCaseSensitive(first, "isOnline")));
    const cJSON* second = cJSON_GetArrayItem(list, 1);
    EXPECT_TRUE(cJSON_IsFalse(cJSON_GetObjectItemCaseSensitive(second, "isOnline")));
    // Members the inventory leaves out are left out of the reply.
    EXPECT_EQ(cJSON_GetObjectItemCaseSensitive(second, "gwName"), nullptr);

    RawService::Reply devices =
        service->Post("QueryDeviceByGw", R"({"orgId":"51","gwSn":"GW-C1","accountsId":"700"})");
    ASSERT_TRUE(devices.json) << devices.body;
    EXPECT_TRUE(IsInteger(devices.Member("count"), 1));
    const cJSON* device = cJSON_GetArrayItem(devices.Member("devList"), 0);
    ASSERT_NE(device, nullptr);
    auto member = [&](const char* name) { return cJSON_GetObjectItemCaseSensitive(device, name); };
    EXPECT_TRUE(IsInteger(member("deviceId"), 1));
    EXPECT_TRUE(IsText(member("id"), "c1"));
    EXPECT_TRUE(IsText(member("deviceName"), "Press"));
    EXPECT_TRUE(IsText(member("deviceSn"), "SN-C1"));
    EXPECT_TRUE(IsText(member("ifaceTypeName"), "RS485"));
    EXPECT_TRUE(cJSON_IsTrue(member("online")));
    EXPECT_TRUE(IsInteger(member("ifaceType"), 2));
    EXPECT_TRUE(IsText(member("ip"), ""));
    EXPECT_TRUE(IsInteger(member("port"), 0));
    EXPECT_TRUE(IsText(member("com"), "COM4"));
    EXPECT_TRUE(IsInteger(member("baud"), 9600));
    EXPECT_TRUE(IsInteger(member("databit"), 8));
    EXPECT_TRUE(IsInteger(member("parity"), 2));
    EXPECT_TRUE(IsInteger(member("stopbit"), 1));
    EXPECT_TRUE(IsInteger(member("timeout"), 500));
    EXPECT_TRUE(IsText(member("protocol"), "1")); // a string holding a number
    EXPECT_TRUE(IsInteger(member("tunType"), 2));
    EXPECT_TRUE(IsInteger(member("tunConnectType"), 1));
}

TEST_F(FarsideWebServiceTest, MemberNamesAreMatchedWithoutRegardToCase)
{
    RawService::Reply login = service->Post("Login", R"({"USERNAME":"carol","PassWd":"pw-1"})");
    EXPECT_EQ(login.Flag(), 1) << login.body;
    RawService::Reply devices =
        service->Post("QueryDeviceByGw", R"({"ORGID":"51","gwsn":"GW-C1","AccountsId":"700"})");
    EXPECT_EQ(devices.Flag(), 1) << devices.body;
}

TEST_F(FarsideWebServiceTest, MalformedRequestsAreRefusedWithAFormatMessage)
{
    struct Case
    {
        const char* action;
        const char* body;
        const char* logged; // the reason in the service's log
    };
    const Case cases[] = {
        {"Login", "not json", "Login refused: body is not JSON"},
        {"Login", "[1,2]", "Login refused: body is not a JSON object"},
        {"Login", R"({"userName":"carol"})", "Login refused: passwd is missing"},
        {"Login", R"({"userName":7,"passwd":"pw-1"})", "Login refused: userName is not a string"},
        // ids that the client sends as strings must come as strings, and the reverse
        {"QueryGateway", R"({"roleId":5,"newRoleId":5,"gwSn":"","gwName":"","nodeName":"","accountsId":700})",
         "QueryGateway refused: accountsId is not a string"},
        {"QueryGateway", R"({"roleId":"5","newRoleId":5,"accountsId":"700"})",
         "QueryGateway refused: roleId is not an integer number"},
        {"QueryGateway", R"({"roleId":5,"newRoleId":5,"accountsId":"seven"})",
         "QueryGateway refused: accountsId is not a decimal number: \"seven\""},
        {"QueryGateway", R"({"roleId":5,"newRoleId":5,"accountsId":"700","onlineType":2})",
         "QueryGateway refused: onlineType is neither 0 nor 1"},
        {"QueryDeviceByGw", R"({"orgId":51,"gwSn":"GW-C1","accountsId":"700"})",
         "QueryDeviceByGw refused: orgId is not a string"},
        {"QueryDeviceByGw", R"({"orgId":"51","accountsId":"700"})",
         "QueryDeviceByGw refused: gwSn is missing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.action) + " " + c.body);
        RawService::Reply reply = service->Post(c.action, c.body);
        ASSERT_TRUE(reply.transportOk);
        ASSERT_TRUE(reply.json) << reply.body;
        EXPECT_EQ(reply.Flag(), 0);
        EXPECT_EQ(reply.Text("msg"), "请求格式错误");
        EXPECT_TRUE(farside.WaitForOutput(QString::fromUtf8(c.logged))) << farside.Output().toStdString();
    }
    EXPECT_TRUE(farside.IsRunning());
}

TEST_F(FarsideWebServiceTest, UnknownActionsAreNotFoundAndLogged)
{
    RawService::Reply reply = service->Post("DeleteEverything", "{}");
    ASSERT_TRUE(reply.transportOk);
    EXPECT_EQ(reply.status, 404);
    EXPECT_TRUE(
        farside.WaitForOutput(QStringLiteral("unknown request POST /CommonService/DeleteEverything -> 404")));
}

TEST_F(FarsideWebServiceTest, StopsCleanlyOnSigtermAndSigint)
{
    EXPECT_EQ(service->Post("Login", R"({"userName":"carol","passwd":"pw-1"})").Flag(), 1);
    EXPECT_EQ(farside.Stop(), 0);
    EXPECT_TRUE(farside.Output().contains(QStringLiteral("stopped on SIGTERM")));
    EXPECT_FALSE(service->Post("Login", "{}").transportOk);

    // Again, interrupted as from a terminal.
    QString platconf = dir.FilePath("platconf");
    ASSERT_TRUE(farside.Start(platconf, dir.FilePath("inventory.json"))) << farside.Error().toStdString();
    ASSERT_GT(farside.ProcessId(), 0);
    ASSERT_EQ(::kill(static_cast<pid_t>(farside.ProcessId()), SIGINT), 0);
    EXPECT_TRUE(farside.WaitForOutput(QStringLiteral("stopped on SIGINT")));
    EXPECT_EQ(farside.Stop(), 0);
}

} // namespace
