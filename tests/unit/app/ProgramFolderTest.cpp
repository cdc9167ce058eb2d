#include "app/ProgramFolder.h"
#include "AppTestSupport.h"
#include "app/Installation.h"
#include "platform/ExecutablePath.h"
#include "support/ScopedEnv.h"
#include "support/ScopedUmask.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFileInfo>
#include <sys/stat.h>

#include <gtest/gtest.h>

TEST(ProgramFolder, EnvironmentNamesTheFolderElseItIsTheExecutablesFolder)
{
    TempHome home;
    EXPECT_EQ(GetProgramFolder(), home.Path()); // the files' places are checked through their tests
    // LUMETRA_HOME is the one folder for reads and writes, whatever XDG_DATA_HOME says.
    const ScopedEnv xdg("XDG_DATA_HOME", "/nowhere/data");
    EXPECT_EQ(GetDataFolder(), home.Path());
    EXPECT_EQ(GetStateFolder(), home.Path());
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

// Without LUMETRA_HOME, an executable without custom_resource/platconf beside it (a
// system's bin folder; the test's build folder holds none) reads ../share/lumetra and
// writes into the user's data folder, which the installation makes the owner's alone.
TEST(ProgramFolder, WithoutTheEnvironmentDataComesFromShareAndWritesGoToTheUsersFolder)
{
    const ScopedEnv noHome("LUMETRA_HOME", std::nullopt);
    const QString exeFolder = platform::ExecutableFolder();
    ASSERT_FALSE(QFileInfo::exists(exeFolder + "/custom_resource/platconf"));
    EXPECT_EQ(GetDataFolder(), QDir::cleanPath(exeFolder + "/../share/lumetra"));

    TempDir xdg;
    const ScopedEnv data("XDG_DATA_HOME", QFile::encodeName(xdg.Path() + "/").toStdString());
    EXPECT_EQ(UserDataFolder(), xdg.Path() + "/lumetra");
    EXPECT_EQ(GetStateFolder(), xdg.Path() + "/lumetra");
    {
        const ScopedUmask wideOpen(0);
        Installation installation;
        EXPECT_EQ(installation.CustomResourcePath(),
                  QDir::cleanPath(exeFolder + "/../share/lumetra") + "/custom_resource/platconf");
        EXPECT_EQ(installation.LoginCachePath(), xdg.Path() + "/lumetra/licache");
        EXPECT_EQ(installation.TraceLogPath(), xdg.Path() + "/lumetra/logtrace");
        EXPECT_EQ(installation.TunnelAddressPath(), xdg.Path() + "/lumetra/tunnel_addresses");
        EXPECT_EQ(ScopedUmask::ModeOf(QFile::encodeName(xdg.Path() + "/lumetra").toStdString()), 0700);
    }
    // A folder found open to others is closed to them.
    ASSERT_EQ(::chmod(QFile::encodeName(xdg.Path() + "/lumetra").constData(), 0755), 0);
    Installation again;
    EXPECT_EQ(ScopedUmask::ModeOf(QFile::encodeName(xdg.Path() + "/lumetra").toStdString()), 0700);

    // A relative or empty XDG_DATA_HOME is ignored: the home folder's .local/share.
    const ScopedEnv home("HOME", "/home/someone");
    for (const char* value : {"relative/data", ""}) {
        const ScopedEnv other("XDG_DATA_HOME", std::string(value));
        EXPECT_EQ(UserDataFolder(), "/home/someone/.local/share/lumetra") << value;
    }
}
