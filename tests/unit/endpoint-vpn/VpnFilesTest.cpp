// The OpenVPN client's profile and credentials files, compared byte for byte with the
// text the client expects (client-profile.txt, with the installation lines and the
// remote line to fill in).

#include "app/CustomResourceTable.h"
#include "endpoint/VpnClientControl.h"
#include "support/PlatconfBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QByteArray ExpectedProfile(const QByteArray& website, const QByteArray& telephone, const QByteArray& remote)
{
    return ReadAll(LUMETRA_SOURCE_DIR "/tests/unit/endpoint-vpn/client-profile.txt")
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
        LoadCustomResourcesFrom(dir_.FilePath("platconf"));
    }
    QByteArray Read(const char* name) const { return ReadAll(dir_.FilePath("lumetra/") + name); }

    TempDir dir_;
};

TEST_F(VpnFilesTest, ProfileCarriesInstallationLinesAndRemoteAndIsRewrittenWhole)
{
    const QByteArray website = "#           www.lumetra.example                   #\n";
    const QByteArray telephone = "#           +86 400 000 0000                      #\n";
    LoadResources(
        PlatconfBuilder().Text("website", website.toStdString()).Text("telephone", telephone.toStdString()));
    EXPECT_EQ(VpnWorkingFolder(), dir_.Path().toStdString() + "/lumetra/");
    WriteProfile("a-rather-long-host-name.lumetra.example", "65535");
    EXPECT_EQ(
        Read(kVpnProfileFile),
        ExpectedProfile(website, telephone, "remote a-rather-long-host-name.lumetra.example 65535\n\n"));

    // The entries are used exactly as stored: a text without a final line feed runs
    // into the next piece, and an absent one adds nothing.
    LoadResources(PlatconfBuilder().Text("website", "no line end"));
    WriteProfile("10.0.0.1", "7");
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

TEST_F(VpnFilesTest, UnwritableWorkingFolderIsSilent)
{
    // A plain file where the working folder should be: nothing is written or touched.
    LoadResources(PlatconfBuilder());
    const QString blocker = dir_.Write("lumetra", "not a folder");
    WriteProfile("127.0.0.1", "1194");
    WriteCredentials("user");
    EXPECT_EQ(ReadAll(blocker), QByteArray("not a folder"));
}

} // namespace
