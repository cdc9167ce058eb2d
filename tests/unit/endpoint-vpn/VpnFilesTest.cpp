// The OpenVPN client's profile and credentials files, compared byte for byte with
// the text the client expects.

#include "app/CustomResourceTable.h"
#include "endpoint/VpnClientControl.h"
#include "support/PlatconfBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <string>

namespace {

// The profile with the two installation lines and the remote line filled in.
std::string ExpectedProfile(const std::string& website, const std::string& telephone,
                            const std::string& remote)
{
    return std::string("###################################################\n"
                       "# Lumetra client-side configuration file          #\n"
                       "# for connecting to multi-client server.          #\n"
                       "#                                                 #\n") +
           website + "# made by the Lumetra team                        #\n" + telephone +
           R"(###################################################

# Specify that we are a client and that we
# will be pulling certain config file directives
# from the server.

client

# Use the same setting as you are using on
# the server.
# On most systems, the VPN will not function
# unless you partially or fully disable
# the firewall for the TUN/TAP interface.

dev tun

# Windows needs the TAP-Win32 adapter name
# from the Network Connections panel
# if you have more than one.  On XP SP2,
# you may need to disable the firewall
# for the TAP adapter.

;dev-node MyTap

# Are we connecting to a TCP or UDP server? 

proto tcp
;proto udp

# The hostname/IP and port of the server.
# You can have multiple remote entries
# to load balance between the servers.

)" + remote +
           R"(# Keep trying indefinitely to resolve the
# host name of the LumetraVPN server.  Very useful
# on machines which are not permanently connected
# to the internet such as laptops.

resolv-retry infinite

# Most clients don't need to bind to
# a specific local port number.

nobind

# Try to preserve some state across restarts.

persist-key
persist-tun

# SSL/TLS parms.
# See the server config file for more
# description.  It's best to use
# a separate .crt/.key file pair
# for each client.  A single ca
# file can be used for all clients.

ca ca.crt
auth-user-pass zelq_clientpass0
remote-cert-tls server

# If a tls-auth key is used on the server
# then every client must also have the key.

;tls-auth ta.key 1

# Enable compression on the VPN link.
# Don't enable this unless it is also
# enabled in the server config file.

comp-lzo

# Set log file verbosity.
verb 3

# Silence repeating messages

mute 3
log openvpn-trace.log
)";
}

// A program folder of its own, with the installation's custom resource file.
class VpnFilesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        previousHome_ = qgetenv("LUMETRA_HOME");
        hadHome_ = qEnvironmentVariableIsSet("LUMETRA_HOME");
        qputenv("LUMETRA_HOME", QFile::encodeName(dir_.Path()));
    }

    void TearDown() override
    {
        if (hadHome_)
            qputenv("LUMETRA_HOME", previousHome_);
        else
            qunsetenv("LUMETRA_HOME");
    }

    void LoadResources(const PlatconfBuilder& builder)
    {
        const QString path = dir_.FilePath("custom_resource/platconf");
        dir_.MakeDir("custom_resource");
        ASSERT_TRUE(builder.WriteTo(path));
        LoadCustomResourcesFrom(path);
    }

    QByteArray Read(const char* name) const
    {
        QFile file(dir_.FilePath(QStringLiteral("lumetra/") + QString::fromUtf8(name)));
        if (!file.open(QIODevice::ReadOnly))
            return QByteArray("<missing>");
        return file.readAll();
    }

    TempDir dir_;
    QByteArray previousHome_;
    bool hadHome_ = false;
};

TEST_F(VpnFilesTest, ProfileCarriesInstallationLinesAndRemote)
{
    const std::string website = "#           www.lumetra.example                   #\n";
    const std::string telephone = "#           +86 400 000 0000                      #\n";
    LoadResources(PlatconfBuilder()
                      .Text("wsh", "127.0.0.1")
                      .Text("website", website)
                      .Text("telephone", telephone)
                      .Text("hotline", "unused"));

    EXPECT_EQ(VpnWorkingFolder(), dir_.Path().toStdString() + "/lumetra/");
    WriteProfile("vpn.lumetra.example", "1194");

    EXPECT_EQ(Read(kVpnProfileFile).toStdString(),
              ExpectedProfile(website, telephone, "remote vpn.lumetra.example 1194\n\n"));
}

TEST_F(VpnFilesTest, ProfileWithoutInstallationLinesAndRewrittenShorter)
{
    // The entries are used exactly as stored: a text without a final line feed
    // runs into the next piece, and an absent one adds nothing.
    LoadResources(PlatconfBuilder().Text("wsh", "127.0.0.1").Text("website", "no line end"));
    WriteProfile("a-rather-long-host-name.lumetra.example", "65535");
    EXPECT_EQ(Read(kVpnProfileFile).toStdString(),
              ExpectedProfile("no line end", "", "remote a-rather-long-host-name.lumetra.example 65535\n\n"));

    LoadResources(PlatconfBuilder().Text("wsh", "127.0.0.1"));
    WriteProfile("10.0.0.1", "7");

    // The second profile replaces the first completely.
    EXPECT_EQ(Read(kVpnProfileFile).toStdString(), ExpectedProfile("", "", "remote 10.0.0.1 7\n\n"));
}

TEST_F(VpnFilesTest, CredentialsHoldUserAndFixedPassword)
{
    LoadResources(PlatconfBuilder().Text("wsh", "127.0.0.1"));
    WriteCredentials("a-much-longer-user-name-written-first");
    WriteCredentials("网关维护");

    EXPECT_EQ(Read(kVpnCredentialsFile), QByteArray("网关维护\n730158"));
    const QFileInfo info(dir_.FilePath("lumetra/zelq_clientpass0"));
    EXPECT_EQ(info.permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup),
              QFileDevice::Permissions());

    WriteCredentials("");
    EXPECT_EQ(Read(kVpnCredentialsFile), QByteArray("\n730158"));
}

TEST_F(VpnFilesTest, UnwritableWorkingFolderIsSilent)
{
    // A plain file where the working folder should be: nothing can be written, and
    // nothing else is touched.
    LoadResources(PlatconfBuilder().Text("wsh", "127.0.0.1"));
    const QString blocker = dir_.Write("lumetra", "not a folder");

    WriteProfile("127.0.0.1", "1194");
    WriteCredentials("user");

    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("not a folder"));
    EXPECT_FALSE(QFileInfo::exists(blocker + "/zelqnet_client.ovpn"));
}

} // namespace
