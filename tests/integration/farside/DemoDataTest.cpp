// The demo installation (demo/inventory.json, demo/platconf/) is what the demo and
// manual testing run on: it must load in the far side and cover every kind of
// gateway and device the client handles.

#include "RawService.h"
#include "support/FarsideProcess.h"
#include "support/FreePort.h"
#include "support/PlatconfBuilder.h"
#include "support/ProgramRun.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <set>

namespace {

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << path.toStdString();
        return QByteArray();
    }
    return file.readAll();
}

QString DemoPlatconf(const QString& name)
{
    return ProgramRun::SourcePath("demo/platconf/" + name);
}

int MemberInt(const cJSON* object, const char* name)
{
    const cJSON* item = cJSON_GetObjectItemCaseSensitive(object, name);
    return cJSON_IsNumber(item) ? item->valueint : -1;
}

TEST(DemoDataTest, DemoInventoryServesEveryKindOfGatewayAndDevice)
{
    TempDir dir;
    int port = FreePort::Pick();
    ASSERT_GT(port, 0);
    QString platconf = dir.FilePath("platconf");
    ASSERT_TRUE(
        PlatconfBuilder().Text("wsh", "127.0.0.1").Text("wsp", std::to_string(port)).WriteTo(platconf));
    FarsideProcess farside;
    ASSERT_TRUE(farside.Start(platconf, ProgramRun::SourcePath("demo/inventory.json")))
        << farside.Error().toStdString();
    RawService service(farside.WebUrl().toStdString());

    struct Login
    {
        const char* user;
        const char* password;
    };
    int gatewayCount = 0;
    std::set<bool> onlineStates;
    std::set<int> tunTypes, serialParities;
    int modbusTcpDevices = 0;
    for (Login login : {Login{"demo", "demo123"}, Login{"operator", "op-2024"}}) {
        SCOPED_TRACE(login.user);
        RawService::Reply account = service.Post("Login", std::string(R"({"userName":")") + login.user +
                                                              R"(","passwd":")" + login.password + "\"}");
        ASSERT_EQ(account.Flag(), 1) << account.body;
        int role = MemberInt(account.json.get(), "newRoleId");
        std::string accountsId = std::to_string(MemberInt(account.json.get(), "accountsId"));
        std::string orgId = std::to_string(MemberInt(account.json.get(), "orgId"));
        RawService::Reply gateways =
            service.Post("QueryGateway",
                         "{\"roleId\":" + std::to_string(role) + ",\"newRoleId\":" + std::to_string(role) +
                             R"(,"gwSn":"","gwName":"","nodeName":"","accountsId":")" + accountsId + "\"}");
        ASSERT_EQ(gateways.Flag(), 1) << gateways.body;
        const cJSON* gateway = nullptr;
        cJSON_ArrayForEach(gateway, gateways.Member("gwList"))
        {
            ++gatewayCount;
            onlineStates.insert(cJSON_IsTrue(cJSON_GetObjectItemCaseSensitive(gateway, "isOnline")));
            std::string gwSn = cJSON_GetObjectItemCaseSensitive(gateway, "gwSn")->valuestring;
            RawService::Reply devices =
                service.Post("QueryDeviceByGw", R"({"orgId":")" + orgId + R"(","gwSn":")" + gwSn +
                                                    R"(","accountsId":")" + accountsId + "\"}");
            ASSERT_EQ(devices.Flag(), 1) << devices.body;
            const cJSON* device = nullptr;
            cJSON_ArrayForEach(device, devices.Member("devList"))
            {
                int tunType = MemberInt(device, "tunType");
                tunTypes.insert(tunType);
                int ifaceType = MemberInt(device, "ifaceType");
                if (tunType == 2) {
                    EXPECT_TRUE(ifaceType == 1 || ifaceType == 2) << gwSn;
                    EXPECT_GT(MemberInt(device, "baud"), 0) << gwSn;
                    serialParities.insert(MemberInt(device, "parity"));
                }
                if (tunType == 1 && MemberInt(device, "port") == 502)
                    ++modbusTcpDevices;
                EXPECT_TRUE(cJSON_IsString(cJSON_GetObjectItemCaseSensitive(device, "protocol")));
            }
        }
    }
    EXPECT_GE(gatewayCount, 3);
    EXPECT_EQ(onlineStates, (std::set<bool>{false, true}));
    EXPECT_TRUE(tunTypes.count(1) && tunTypes.count(2));
    EXPECT_GE(tunTypes.size(), 3u) << "a device of neither tunnel type";
    EXPECT_EQ(serialParities, (std::set<int>{0, 1, 2})) << "parities N, O and E";
    EXPECT_GE(modbusTcpDevices, 1);
}

TEST(DemoDataTest, DemoPlatconfFolderHoldsTheEntriesAndImages)
{
    // Entries a working installation needs (the client reads the first six without
    // a check), as text files with at most one trailing line end.
    for (const char* name : {"wsh",
                             "wsp",
                             "bh",
                             "bp",
                             "busername",
                             "bpassword",
                             "port_transfer_host",
                             "port_transfer_port",
                             "relay_host",
                             "relay_port",
                             "listen_host",
                             "compinfo",
                             "dtverloca",
                             "addurl",
                             "hotline",
                             "wslabel",
                             "compname",
                             "dtver",
                             "ioturl",
                             "officeurl",
                             "website",
                             "telephone"}) {
        SCOPED_TRACE(name);
        QByteArray text = ReadFile(DemoPlatconf(name));
        if (text.endsWith("\n"))
            text.chop(text.endsWith("\r\n") ? 2 : 1);
        EXPECT_FALSE(text.isEmpty());
        EXPECT_FALSE(text.contains('\n'));
        EXPECT_FALSE(text.contains('\0'));
    }
    for (const char* name : {"wsp", "bp", "port_transfer_port", "relay_port"}) {
        bool ok = false;
        int port = ReadFile(DemoPlatconf(name)).trimmed().toInt(&ok);
        EXPECT_TRUE(ok && port > 0 && port < 65536) << name;
    }

    // The images are PNG files of the sizes the views draw.
    const struct
    {
        const char* name;
        quint32 width, height;
    } images[] = {{"logo.png", 120, 36}, {"title.png", 200, 36}, {"qr_code.png", 110, 110}};
    for (const auto& image : images) {
        SCOPED_TRACE(image.name);
        QByteArray png = ReadFile(DemoPlatconf(image.name));
        ASSERT_GE(png.size(), 24);
        EXPECT_TRUE(png.startsWith(QByteArray("\x89PNG\r\n\x1a\n", 8)));
        auto be32 = [&](int at) {
            return (quint32(quint8(png[at])) << 24) | (quint32(quint8(png[at + 1])) << 16) |
                   (quint32(quint8(png[at + 2])) << 8) | quint32(quint8(png[at + 3]));
        };
        EXPECT_EQ(be32(16), image.width);
        EXPECT_EQ(be32(20), image.height);
    }

    // Every manifest line names an entry of the folder and has the agreed form.
    QRegularExpression line(
        QStringLiteral("^(\\S+)(\\s+value=-?\\d+)?(\\s+rect=-?\\d+,-?\\d+,-?\\d+,-?\\d+)?\\s*$"));
    std::set<QString> withRect;
    for (QString text : QString::fromUtf8(ReadFile(DemoPlatconf("platconf.manifest"))).split('\n')) {
        text = text.section('#', 0, 0).trimmed();
        if (text.isEmpty())
            continue;
        QRegularExpressionMatch match = line.match(text);
        ASSERT_TRUE(match.hasMatch()) << text.toStdString();
        EXPECT_TRUE(QFile::exists(DemoPlatconf(match.captured(1)))) << text.toStdString();
        if (!match.captured(3).isEmpty())
            withRect.insert(match.captured(1));
    }
    for (const char* name : {"dtverloca", "logo.png", "title.png", "qr_code.png"})
        EXPECT_TRUE(withRect.count(QString::fromLatin1(name))) << name << " has no rectangle";
}

} // namespace
