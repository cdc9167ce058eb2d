// lumetra-cli against a test web service that sends far more than any real reply:
// a reply past the size limit fails with the usual message while the program's
// peak resident size stays small, and long gateway and device listings cost time
// in proportion to their length.

#include "support/BulkWebService.h"
#include "support/PlatconfBuilder.h"
#include "support/ProgramRun.h"
#include "support/ResourceUse.h"
#include "support/TempDir.h"
#include "support/ToolProcess.h"

#include <QString>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr size_t kMiB = 1024 * 1024;

class CliLargeReplyTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_GT(service.Port(), 0);
        home.MakeDir("custom_resource");
        ASSERT_TRUE(
            PlatconfBuilder().WebService(service.Port()).WriteTo(home.FilePath("custom_resource/platconf")));
    }

    // Runs lumetra-cli to its end, signed in with a user and password on the command line.
    void Run(ToolProcess& cli, std::vector<std::string> args)
    {
        args.insert(args.end(), {"--user", "engineer", "--password", "pw"});
        ASSERT_TRUE(cli.Start(ProgramRun::BuiltProgram("lumetra-cli").toStdString(), args,
                              {{"LUMETRA_HOME", home.Path().toStdString()}}));
        ASSERT_TRUE(cli.Finish(60000)) << "lumetra-cli did not end";
    }

    // The least processor time of three runs of a listing that must print `lines`
    // table lines and then `last`.
    double ListingCost(const std::vector<std::string>& args, size_t lines, const std::string& last)
    {
        double best = -1;
        for (int run = 0; run < 3; ++run) {
            ToolProcess cli;
            Run(cli, args);
            EXPECT_EQ(cli.ExitCode(), 0) << cli.Err().substr(0, 2000);
            const std::string& out = cli.Out();
            EXPECT_EQ(static_cast<size_t>(std::count(out.begin(), out.end(), '\n')), lines + 1);
            EXPECT_TRUE(out.size() > last.size() &&
                        out.compare(out.size() - last.size() - 1, last.size(), last) == 0)
                << out.substr(out.size() - std::min<size_t>(out.size(), 200));
            best = best < 0 ? cli.CpuSeconds() : std::min(best, cli.CpuSeconds());
        }
        return best;
    }

    BulkWebService service;
    TempDir home;
};

TEST_F(CliLargeReplyTest, ReplyOf300MegabytesPrintsTheFailedCallsTextAndPeakMemoryStaysUnder100Megabytes)
{
    service.SetFlood(300 * kMiB, false);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"gateways"}, std::vector<std::string>{"devices", "GW0000001"}}) {
        ToolProcess cli;
        Run(cli, args);
        EXPECT_EQ(cli.ExitCode(), 1) << args[0];
        EXPECT_EQ(cli.Out(), "") << args[0];
        // The sign-in gets the flood and fails with the text of any failed call.
        EXPECT_NE(cli.Err().find("\n调用失败\n"), std::string::npos) << cli.Err().substr(0, 2000);
        EXPECT_GT(cli.PeakResidentKb(), 0);
        if (ResourceUse::MeasuresMemory()) {
            EXPECT_LT(cli.PeakResidentKb(), 100 * 1024)
                << args[0] << ": peak resident size " << cli.PeakResidentKb() << " KiB";
        }
    }
    EXPECT_LT(service.FloodBytesSent(), 3 * 64 * kMiB);
}

TEST_F(CliLargeReplyTest, LongGatewayAndDeviceListingsCostTimeInProportionToTheirLength)
{
    // Four times the entries may cost about four times as much (less, with the
    // program's fixed start-up cost); a cost growing with the square would be
    // sixteen times.
    service.SetGateways(50000);
    const double fewGateways = ListingCost({"gateways"}, 50001, "50000 gateways");
    service.SetGateways(200000);
    const double manyGateways = ListingCost({"gateways"}, 200001, "200000 gateways");
    EXPECT_LT(manyGateways, 8 * fewGateways)
        << "50,000 gateways " << fewGateways << " s, 200,000 gateways " << manyGateways << " s";

    service.SetDevices(20000);
    const double fewDevices = ListingCost({"devices", "GW0000001"}, 20001, "20000 devices");
    service.SetDevices(80000);
    const double manyDevices = ListingCost({"devices", "GW0000001"}, 80001, "80000 devices");
    EXPECT_LT(manyDevices, 8 * fewDevices)
        << "20,000 devices " << fewDevices << " s, 80,000 devices " << manyDevices << " s";
}

} // namespace
