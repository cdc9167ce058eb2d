#pragma once

#include "support/FarsideProcess.h"
#include "support/FreePort.h"
#include "support/PlatconfBuilder.h"
#include "support/ProgramRun.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

// An installation whose platconf points at a free loopback port, a lumetra-farside
// started there on demand with an inventory, and lumetra-cli run in the installation.
class CliFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const int port = FreePort::Pick();
        ASSERT_GT(port, 0);
        platconf = home.MakeDir("custom_resource") + "/platconf";
        ASSERT_TRUE(PlatconfBuilder().WebService(port).WriteTo(platconf));
    }

    void StartFarside(const char* inventory)
    {
        ASSERT_TRUE(farside.Start(platconf, home.Write("inventory.json", inventory)))
            << farside.Error().toStdString();
    }

    // Runs lumetra-cli to its end with `input` on its standard input.
    ProgramRun::Result Cli(const QStringList& args, const QByteArray& input = {},
                           const QString& lumetraHome = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LUMETRA_HOME", lumetraHome.isEmpty() ? home.Path() : lumetraHome);
        ProgramRun::Result r =
            ProgramRun::RunWithInput(ProgramRun::BuiltProgram("lumetra-cli"), args, input, 60000, env);
        EXPECT_TRUE(r.started && !r.timedOut && !r.crashed) << r.err.toStdString();
        return r;
    }

    TempDir home;
    QString platconf;
    FarsideProcess farside;
};
