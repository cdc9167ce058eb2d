#include "cloud/CCloudClient.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

struct SchemeCase
{
    int port;
    const char* scheme;
};

void PrintTo(const SchemeCase& c, std::ostream* os)
{
    *os << "port " << c.port << " -> " << c.scheme;
}

class CloudEndpointScheme : public ::testing::TestWithParam<SchemeCase>
{
};

TEST_P(CloudEndpointScheme, PortChoosesSchemeAndUrlCarriesPort)
{
    const SchemeCase c = GetParam();
    CCloudClient::SetEndpoint("svc.example", c.port);
    EXPECT_EQ(CCloudClient::Scheme(), c.scheme);
    EXPECT_EQ(CCloudClient::Host(), "svc.example");
    EXPECT_EQ(CCloudClient::Port(), c.port);
    EXPECT_EQ(CCloudClient::BaseUrl(),
              std::string(c.scheme) + "svc.example:" + std::to_string(c.port) + "/CommonService/");
}

std::string CaseName(const ::testing::TestParamInfo<SchemeCase>& info)
{
    const int port = info.param.port;
    return port < 0 ? "PortMinus" + std::to_string(-port) : "Port" + std::to_string(port);
}

INSTANTIATE_TEST_SUITE_P(Ports, CloudEndpointScheme,
                         ::testing::Values(SchemeCase{443, "https://"}, SchemeCase{8443, "https://"},
                                           SchemeCase{10443, "https://"}, SchemeCase{444, "http://"},
                                           SchemeCase{80, "http://"}, SchemeCase{8080, "http://"},
                                           SchemeCase{0, "http://"}, SchemeCase{-443, "http://"}),
                         CaseName);

TEST(CloudEndpoint, BaseUrlExamples)
{
    CCloudClient::SetEndpoint("h", 8080);
    EXPECT_EQ(CCloudClient::BaseUrl(), "http://h:8080/CommonService/");
    CCloudClient::SetEndpoint("h", 80);
    EXPECT_EQ(CCloudClient::BaseUrl(), "http://h:80/CommonService/");
    CCloudClient::SetEndpoint("10.0.0.5", 443);
    EXPECT_EQ(CCloudClient::BaseUrl(), "https://10.0.0.5:443/CommonService/");
}

TEST(CloudEndpoint, LaterEndpointReplacesEarlierOne)
{
    CCloudClient::SetEndpoint("first", 443);
    CCloudClient::SetEndpoint("second", 81);
    EXPECT_EQ(CCloudClient::BaseUrl(), "http://second:81/CommonService/");
}

TEST(CloudEndpoint, MissingHostIsEmpty)
{
    CCloudClient::SetEndpoint(nullptr, 8080);
    EXPECT_EQ(CCloudClient::Host(), "");
    EXPECT_EQ(CCloudClient::BaseUrl(), "http://:8080/CommonService/");
}

} // namespace
