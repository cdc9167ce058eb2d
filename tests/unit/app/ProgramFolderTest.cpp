#include "app/ProgramFolder.h"
#include "AppTestSupport.h"
#include "app/Installation.h"
#include "platform/ExecutablePath.h"

#include <QDir>

#include <gtest/gtest.h>

TEST(ProgramFolder, EnvironmentNamesTheFolderElseItIsTheExecutablesFolder)
{
    TempHome home;
    EXPECT_EQ(GetProgramFolder(), home.Path()); // the files' places are checked through their tests
    // A trailing separator is dropped; the variable is read anew on every call.
    ::setenv("LUMETRA_HOME", "/tmp/some/where//", 1);
    EXPECT_EQ(Installation().LoginCachePath(), "/tmp/some/where/licache");
    ::setenv("LUMETRA_HOME", "/", 1);
    EXPECT_EQ(GetProgramFolder(), "/");
    // A relative folder is taken against the working folder: helper programs started
    // from elsewhere must still find the installation.
    ::setenv("LUMETRA_HOME", "demo-home/", 1);
    EXPECT_EQ(GetProgramFolder(), QDir::currentPath() + "/demo-home");
    for (bool empty : {false, true}) {
        empty ? ::setenv("LUMETRA_HOME", "", 1) : ::unsetenv("LUMETRA_HOME");
        EXPECT_EQ(GetProgramFolder(), platform::ExecutableFolder());
        EXPECT_FALSE(GetProgramFolder().endsWith('/'));
        EXPECT_TRUE(QFileInfo::exists(GetProgramFolder() + "/test_app_unit"))
            << GetProgramFolder().toStdString();
    }
}
