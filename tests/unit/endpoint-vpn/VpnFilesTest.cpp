// The OpenVPN client's profile and credentials files, compared byte for byte with the
// text the client expects (client-profile.txt, with the installation lines and the
// remote line to fill in).

#include "app/Installation.h"
#include "endpoint/VpnClientControl.h"
#include "support/PlatconfBuilder.h"
#include "support/ScopedUmask.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

#include <unistd.h>
#include <vector>

namespace {

QByteArray ExpectedProfile(const QByteArray& website, const QByteArray& telephone, const QByteArray& remote)
{
    return TempDir::Read(LUMETRA_SOURCE_DIR "/tests/unit/endpoint-vpn/client-profile.txt")
        .replace("{WEBSITE}", website)
        .replace("{TELEPHONE}", telephone)
        .replace("{REMOTE}", remote);
}

// A program folder of its own, with the installation's custom resource file.
class VpnFilesTest : public ::testing::Test
{
protected:
    void SetUp() override { qputenv("LUMETRA_HOME", QFile::encodeName(dir_.Path())); }
    void TearDown() override { qunsetenv("LUMETRA_HOME"); }

    void LoadResources(PlatconfBuilder builder)
    {
        ASSERT_TRUE(builder.Text("wsh", "127.0.0.1").WriteTo(dir_.FilePath("platconf")));
        installation_.LoadCustomResourcesFrom(dir_.FilePath("platconf"));
    }
    QByteArray Read(const char* name) const { return TempDir::Read(dir_.FilePath("lumetra/") + name); }

    TempDir dir_;
    Installation installation_{dir_.Path()};
};

TEST_F(VpnFilesTest, ProfileCarriesInstallationLinesAndRemoteAndIsRewrittenWhole)
{
    const QByteArray website = "#           www.lumetra.example                   #\n";
    const QByteArray telephone = "#           +86 400 000 0000                      #\n";
    LoadResources(
        PlatconfBuilder().Text("website", website.toStdString()).Text("telephone", telephone.toStdString()));
    EXPECT_EQ(VpnWorkingFolder(), dir_.Path().toStdString() + "/lumetra/");
    WriteProfile(&installation_, "a-rather-long-host-name.lumetra.example", "65535");
    EXPECT_EQ(
        Read(kVpnProfileFile),
        ExpectedProfile(website, telephone, "remote a-rather-long-host-name.lumetra.example 65535\n\n"));

    // The entries are used exactly as stored: a text without a final line feed runs
    // into the next piece, and an absent one adds nothing.
    LoadResources(PlatconfBuilder().Text("website", "no line end"));
    WriteProfile(&installation_, "10.0.0.1", "7");
    EXPECT_EQ(Read(kVpnProfileFile), ExpectedProfile("no line end", "", "remote 10.0.0.1 7\n\n"));
}

TEST_F(VpnFilesTest, CredentialsHoldUserAndFixedPasswordForTheOwnerOnly)
{
    LoadResources(PlatconfBuilder());
    WriteCredentials("a-much-longer-user-name-written-first");
    WriteCredentials("网关维护");
    EXPECT_EQ(Read(kVpnCredentialsFile), QByteArray("网关维护\n730158"));
    EXPECT_EQ(QFileInfo(dir_.FilePath("lumetra/zelq_clientpass0")).permissions() &
                  (QFileDevice::ReadOther | QFileDevice::ReadGroup),
              QFileDevice::Permissions());
    WriteCredentials("");
    EXPECT_EQ(Read(kVpnCredentialsFile), QByteArray("\n730158"));
}

// The profile tells the client what to run and the credentials hold a password: the
// working folder is 0700 and both files 0600 whatever the umask, a folder or files
// found open to others (an earlier version, a folder made by hand) are tightened
// with the bytes as always, and a link in a file's place is not written through.
TEST_F(VpnFilesTest, FolderAndFilesAreTheOwnersAloneAndLinksAreNotFollowed)
{
    const ScopedUmask wideOpen(0);
    LoadResources(PlatconfBuilder());
    const std::string folder = VpnWorkingFolder();
    const std::string profile = folder + kVpnProfileFile, credentials = folder + kVpnCredentialsFile;
    auto modes = [&] {
        return std::vector<int>{ScopedUmask::ModeOf(folder), ScopedUmask::ModeOf(profile),
                                ScopedUmask::ModeOf(credentials)};
    };
    WriteProfile(&installation_, "10.0.0.1", "1194");
    WriteCredentials("first");
    EXPECT_EQ(modes(), (std::vector<int>{0700, 0600, 0600}));

    ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
    ASSERT_EQ(chmod(profile.c_str(), 0644), 0);
    ASSERT_EQ(chmod(credentials.c_str(), 0666), 0);
    WriteProfile(&installation_, "10.0.0.2", "1195");
    WriteCredentials("second");
    EXPECT_EQ(modes(), (std::vector<int>{0700, 0600, 0600}));
    EXPECT_EQ(Read(kVpnProfileFile), ExpectedProfile("", "", "remote 10.0.0.2 1195\n\n"));
    EXPECT_EQ(Read(kVpnCredentialsFile), QByteArray("second\n730158"));

    const QString outside = dir_.Write("outside", "keep");
    ASSERT_EQ(unlink(credentials.c_str()), 0);
    ASSERT_EQ(symlink(QFile::encodeName(outside).constData(), credentials.c_str()), 0);
    WriteCredentials("third");
    EXPECT_EQ(TempDir::Read(outside), QByteArray("keep"));
    EXPECT_EQ(ScopedUmask::ModeOf(outside.toStdString()), 0666);
}

TEST_F(VpnFilesTest, UnwritableWorkingFolderIsSilent)
{
    // A plain file where the working folder should be: nothing is written or touched.
    LoadResources(PlatconfBuilder());
    const QString blocker = dir_.Write("lumetra", "not a folder");
    WriteProfile(&installation_, "127.0.0.1", "1194");
    WriteCredentials("user");
    EXPECT_EQ(TempDir::Read(blocker), QByteArray("not a folder"));
}

} // namespace
