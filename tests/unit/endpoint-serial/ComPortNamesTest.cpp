// Port names and the device paths they stand for.

#include "platform/ComPortNames.h"

#include "support/ScopedEnv.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

TEST(ComPortNames, VirtualComFolderFollowsTheEnvironment)
{
    {
        ScopedEnv own("LUMETRA_VCOM_DIR", std::string("/srv/ports/"));
        ScopedEnv runtime("XDG_RUNTIME_DIR", std::string("/run/user/77"));
        EXPECT_EQ(platform::VirtualComFolder(), "/srv/ports");
    }
    {
        ScopedEnv own("LUMETRA_VCOM_DIR", std::string(""));
        ScopedEnv runtime("XDG_RUNTIME_DIR", std::string("/run/user/77"));
        EXPECT_EQ(platform::VirtualComFolder(), "/run/user/77/lumetra-vcom");
    }
    {
        ScopedEnv own("LUMETRA_VCOM_DIR", std::nullopt);
        ScopedEnv runtime("XDG_RUNTIME_DIR", std::nullopt);
        EXPECT_EQ(platform::VirtualComFolder(), "/tmp/lumetra-vcom-" + std::to_string(getuid()));
    }
    {
        ScopedEnv own("LUMETRA_VCOM_DIR", std::string("relative/ports"));
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        EXPECT_EQ(platform::VirtualComFolder(), std::string(cwd) + "/relative/ports");
    }
}

TEST(ComPortNames, ComNamesResolveToLinksInTheFolder)
{
    ScopedEnv own("LUMETRA_VCOM_DIR", std::string("/srv/ports"));
    EXPECT_EQ(platform::ResolveComPortName("COM3"), "/srv/ports/COM3");
    EXPECT_EQ(platform::ResolveComPortName("\\\\.\\COM12"), "/srv/ports/COM12");
    EXPECT_EQ(platform::ResolveComPortName("com7"), "/srv/ports/COM7");
    EXPECT_EQ(platform::ResolveComPortName("COM255"), "/srv/ports/COM255");
    EXPECT_EQ(platform::ResolveComPortName("COM007"), "/srv/ports/COM7");
}

TEST(ComPortNames, PathsAndOtherNamesStayAsTheyAre)
{
    ScopedEnv own("LUMETRA_VCOM_DIR", std::string("/srv/ports"));
    EXPECT_EQ(platform::ResolveComPortName("/dev/ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(platform::ResolveComPortName("/COM3"), "/COM3");
    for (const char* name : {"", "COM", "COM0", "COM256", "COM1234", "COM1x", "COM-1", "\\\\.\\",
                             "\\\\.\\COM", "\\\\?\\COM3", "LPT1", "ttyS0"}) {
        EXPECT_EQ(platform::ResolveComPortName(name), name) << name;
        EXPECT_EQ(platform::ComPortNumber(name), 0) << name;
    }
    EXPECT_EQ(platform::ComPortNumber("\\\\.\\COM10"), 10);
}

} // namespace
