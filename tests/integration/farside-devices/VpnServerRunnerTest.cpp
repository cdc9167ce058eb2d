// The far side's VPN server against a real openvpn client with the client's profile
// settings.
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "VpnServerRunner.h"
#include "support/TempDir.h"

namespace {

std::string ReadAll(const std::string& path)
{
    std::stringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

// Runs openvpn in `dir` with a client profile for the server and the password until
// its log shows the link up, the client ended or 30 s passed; returns the log.
std::string RunClient(const VpnServerRunner& server, const std::string& dir, const std::string& password)
{
    std::ofstream(dir + "/client.ovpn")
        << "client\ndev tun\nproto tcp\nremote " << server.Host() << " " << server.Port()
        << "\nnobind\npersist-key\npersist-tun\nca ca.crt\n"
           "auth-user-pass clientpass\nremote-cert-tls server\ncomp-lzo\nverb 3\n";
    std::ofstream(dir + "/clientpass") << "LG2024000101\n" << password;
    std::filesystem::remove(dir + "/client.log");
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) == 0)
            execlp("openvpn", "openvpn", "--config", "client.ovpn", "--log", "client.log", nullptr);
        _exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (ReadAll(dir + "/client.log").find("Initialization Sequence Completed") == std::string::npos &&
           waitpid(pid, nullptr, WNOHANG) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    return ReadAll(dir + "/client.log");
}

TEST(VpnServerRunner, AcceptsTheClientWithThePasswordOnly)
{
    VpnServerRunner::Options options;
    std::string reason;
    if (!VpnServerRunner::CanRun(options, &reason) || system("command -v openvpn >/dev/null") != 0)
        GTEST_SKIP() << "no real VPN on this machine: " << reason;

    TempDir temp;
    options.caCopyPath = temp.FilePath("lumetra/ca.crt").toStdString();
    options.authDelayMs = 100;
    VpnServerRunner server;
    ASSERT_TRUE(server.Start(options, &reason)) << reason;
    EXPECT_EQ(server.Host(), "127.0.0.1");
    const std::string ca = ReadAll(server.CaCertificatePath());
    EXPECT_NE(ca.find("BEGIN CERTIFICATE"), std::string::npos);
    EXPECT_EQ(ReadAll(options.caCopyPath), ca);

    const std::string dir = temp.Path().toStdString() + "/lumetra";
    const std::string right = RunClient(server, dir, "730158");
    EXPECT_NE(right.find("Initialization Sequence Completed"), std::string::npos) << right;
    const std::string wrong = RunClient(server, dir, "730159");
    EXPECT_EQ(wrong.find("Initialization Sequence Completed"), std::string::npos) << wrong;
    EXPECT_NE(wrong.find("AUTH_FAILED"), std::string::npos) << wrong;

    // Stop ends the server and removes its folder.
    const std::string folder = server.Folder();
    server.Stop();
    EXPECT_FALSE(server.Running());
    EXPECT_FALSE(std::filesystem::exists(folder));
}

} // namespace
