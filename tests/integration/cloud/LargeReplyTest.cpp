// The cloud client against a web service that sends far more than any real reply:
// a reply past the size limit fails like any failed call without the client ever
// holding it, and long gateway and device lists cost time in proportion to their
// length.

#include "cloud/CCloudClient.h"
#include "support/BulkWebService.h"
#include "support/ResourceUse.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr size_t kMiB = 1024 * 1024;

CAccountInfo Account()
{
    CAccountInfo account;
    account.flag = 1;
    account.orgId = 7;
    account.newRoleId = 2;
    account.accountsId = 70;
    return account;
}

// A device list reply that owns its records.
struct Devices : CDeviceListReply
{
    explicit Devices(CDeviceListReply reply) : CDeviceListReply(std::move(reply)) {}
    ~Devices()
    {
        for (CNodeDevice* device : devices)
            delete device;
    }
};

class LargeReplyTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_GT(service.Port(), 0);
        CCloudClient::SetEndpoint("127.0.0.1", service.Port());
    }

    BulkWebService service;
    CCloudClient client;
};

TEST_F(LargeReplyTest, ReplyOf300MegabytesFailsAsAnyFailedCallAndPeakMemoryStaysUnder100Megabytes)
{
    for (const bool announced : {false, true}) {
        service.SetFlood(300 * kMiB, announced);
        const CAccountInfo login = client.Login("user", "password");
        EXPECT_EQ(std::tuple(login.flag, login.msg, login.orgId),
                  std::tuple(0, CReplyBase::DefaultMessage(), -1))
            << "announced " << announced;
        const CGatewayListReply gateways = client.QueryGateway(Account(), "", "", "", 0);
        EXPECT_EQ(std::tuple(gateways.flag, gateways.msg, gateways.gateways.size()),
                  std::tuple(0, CReplyBase::DefaultMessage(), size_t(0)))
            << "announced " << announced;
        const Devices devices(client.QueryDeviceByGw(7, "GW", 70));
        EXPECT_EQ(std::tuple(devices.flag, devices.msg, devices.devices.size()),
                  std::tuple(0, CReplyBase::DefaultMessage(), size_t(0)))
            << "announced " << announced;
        // The transfer ended once the limit was passed, not after 300 MB.
        EXPECT_LT(service.FloodBytesSent(), 3 * 64 * kMiB) << "announced " << announced;
    }
    const long peakKb = ResourceUse::PeakResidentKb();
    ASSERT_GT(peakKb, 0);
    if (ResourceUse::MeasuresMemory()) {
        EXPECT_LT(peakKb, 100 * 1024) << "peak resident size " << peakKb << " KiB";
    }
}

TEST_F(LargeReplyTest, ReplyOfExactlyTheLimitArrivesWholeAndOneByteMoreIsDropped)
{
    const std::string url = "http://127.0.0.1:" + std::to_string(service.Port()) + "/CommonService/Login";
    for (const bool announced : {false, true}) {
        service.SetFlood(CCloudClient::kMaxReplyBytes, announced);
        std::string reply = "kept:";
        EXPECT_EQ(client.Post(url, "{}", &reply), CURLE_OK);
        EXPECT_EQ(reply.size(), 5 + CCloudClient::kMaxReplyBytes);
        EXPECT_EQ(reply.compare(0, 6, "kept:{"), 0);

        // One byte more: refused before the body when the length is announced, cut
        // off when it passes the limit otherwise. The buffer keeps only what it held.
        service.SetFlood(CCloudClient::kMaxReplyBytes + 1, announced);
        reply = "kept:";
        EXPECT_EQ(client.Post(url, "{}", &reply), announced ? CURLE_FILESIZE_EXCEEDED : CURLE_WRITE_ERROR);
        EXPECT_EQ(reply, "kept:");
    }
}

TEST_F(LargeReplyTest, GatewayAndDeviceListsCostTimeInProportionToTheirLength)
{
    // Four times the entries may cost about four times as much; a cost that grows
    // with the square would be sixteen times. The best of three runs keeps other
    // programs on the machine out of the comparison.
    auto gatewayCost = [&](size_t count) {
        service.SetGateways(count);
        return ResourceUse::BestCpuSeconds(3, [&] {
            const CGatewayListReply reply = client.QueryGateway(Account(), "", "", "", 0);
            ASSERT_EQ(reply.flag, 1);
            ASSERT_EQ(reply.gateways.size(), count);
            EXPECT_EQ(reply.gateways.back().gwSn, "GW" +
                                                      std::string(7 - std::to_string(count - 1).size(), '0') +
                                                      std::to_string(count - 1));
            EXPECT_EQ(reply.gateways.back().gwName, "Gw " + std::to_string(count - 1));
        });
    };
    ASSERT_LT(BulkWebService::GatewayListReply(200000).size(), CCloudClient::kMaxReplyBytes);
    const double small = gatewayCost(50000);
    const double large = gatewayCost(200000);
    EXPECT_LT(large, 8 * small) << "50,000 gateways " << small << " s, 200,000 gateways " << large << " s";

    auto deviceCost = [&](size_t count) {
        service.SetDevices(count);
        return ResourceUse::BestCpuSeconds(3, [&] {
            const Devices reply(client.QueryDeviceByGw(7, "GW", 70));
            ASSERT_EQ(reply.flag, 1);
            ASSERT_EQ(reply.devices.size(), count);
            EXPECT_EQ(reply.devices.back()->deviceId, static_cast<int>(count - 1));
        });
    };
    ASSERT_LT(BulkWebService::DeviceListReply(80000).size(), CCloudClient::kMaxReplyBytes);
    const double fewDevices = deviceCost(20000);
    const double manyDevices = deviceCost(80000);
    EXPECT_LT(manyDevices, 8 * fewDevices)
        << "20,000 devices " << fewDevices << " s, 80,000 devices " << manyDevices << " s";
}

} // namespace
