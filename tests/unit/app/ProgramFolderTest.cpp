#include "app/ProgramFolder.h"
#include "TempHome.h"
#include "platform/ExecutablePath.h"

#include <QFileInfo>
#include <cstdlib>
#include <gtest/gtest.h>

TEST(ProgramFolder, EnvironmentNamesTheFolderAndPathsHangOffIt)
{
    TempHome home;
    ASSERT_TRUE(home.IsValid());
    EXPECT_EQ(GetProgramFolder(), home.Path());
    EXPECT_EQ(CustomResourcePath(), home.Path() + "/custom_resource/platconf");
    EXPECT_EQ(LoginCachePath(), home.Path() + "/licache");
    EXPECT_EQ(TraceLogPath(), home.Path() + "/logtrace");

    // A trailing separator is dropped; the variable is read anew on every call.
    ::setenv("LUMETRA_HOME", "/tmp/some/where//", 1);
    EXPECT_EQ(GetProgramFolder(), "/tmp/some/where");
    EXPECT_EQ(LoginCachePath(), "/tmp/some/where/licache");
    ::setenv("LUMETRA_HOME", "/", 1);
    EXPECT_EQ(GetProgramFolder(), "/");
}

TEST(ProgramFolder, WithoutTheEnvironmentItIsTheExecutablesFolder)
{
    TempHome home; // restores the variable afterwards
    for (bool empty : {false, true}) {
        if (empty)
            ::setenv("LUMETRA_HOME", "", 1);
        else
            ::unsetenv("LUMETRA_HOME");
        const QString folder = GetProgramFolder();
        EXPECT_FALSE(folder.isEmpty());
        EXPECT_EQ(folder, ExecutableFolder());
        EXPECT_FALSE(folder.endsWith('/'));
        // This test program lives in the tests folder of the build.
        EXPECT_TRUE(QFileInfo::exists(folder + "/test_app_program_folder")) << folder.toStdString();
    }
}
