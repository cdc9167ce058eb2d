// The far side's VPN server against a real openvpn client with the client's profile
// settings, watched through the client's management interface.
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "VpnServerRunner.h"
#include "support/FreePort.h"
#include "support/TempDir.h"

namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int ConnectLoopback(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        return fd;
    close(fd);
    return -1;
}

// Runs openvpn in `folder` with a client profile for the server and credentials,
// releases it from its management hold and returns what the management interface
// said until `stopAt` appeared, the client ended or 30 s passed.
std::string RunClient(const VpnServerRunner& server, const QString& folder, const std::string& user,
                      const std::string& password, const std::vector<std::string>& stopAt)
{
    const int managementPort = FreePort::Pick();
    const std::string dir = folder.toStdString();
    std::ofstream(dir + "/client.ovpn")
        << "client\ndev tun\nproto tcp\nremote " << server.Host() << " " << server.Port()
        << "\nnobind\npersist-key\npersist-tun\nca ca.crt\n"
           "auth-user-pass clientpass\nremote-cert-tls server\ncomp-lzo\n"
           "verb 3\nlog openvpn-trace.log\nmanagement 127.0.0.1 "
        << managementPort << "\nmanagement-hold\n";
    std::ofstream(dir + "/clientpass") << user << "\n" << password;

    const std::string config = dir + "/client.ovpn";
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 1);
        dup2(null, 2);
        if (chdir(dir.c_str()) == 0)
            execlp("openvpn", "openvpn", "--config", config.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    std::string said;
    int management = -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (management < 0 && std::chrono::steady_clock::now() < deadline &&
           waitpid(pid, nullptr, WNOHANG) == 0) {
        management = ConnectLoopback(managementPort);
        if (management < 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (management >= 0) {
        timeval timeout = {1, 0};
        setsockopt(management, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        const std::string commands = "state on\nhold release\n";
        send(management, commands.data(), commands.size(), MSG_NOSIGNAL);
        auto done = [&] {
            for (const std::string& text : stopAt)
                if (said.find(text) != std::string::npos)
                    return true;
            return false;
        };
        char buffer[1024];
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            const ssize_t n = recv(management, buffer, sizeof buffer, 0);
            if (n == 0)
                break;
            if (n > 0)
                said.append(buffer, n);
        }
        close(management);
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    return said;
}

} // namespace

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
    EXPECT_GT(server.Port(), 0);
    const std::string ca = ReadAll(server.CaCertificatePath());
    EXPECT_NE(ca.find("BEGIN CERTIFICATE"), std::string::npos);
    EXPECT_EQ(ReadAll(options.caCopyPath), ca);

    const std::string connected = ",CONNECTED,SUCCESS,";
    const std::vector<std::string> failed = {"Verification Failed", ",EXITING,"};
    const std::string right = RunClient(server, temp.Path() + "/lumetra", "LG2024000101", "730158",
                                        {connected, failed[0], failed[1]});
    EXPECT_NE(right.find(connected), std::string::npos) << right;

    const std::string wrong = RunClient(server, temp.Path() + "/lumetra", "LG2024000101", "730159",
                                        {connected, failed[0], failed[1]});
    EXPECT_EQ(wrong.find(connected), std::string::npos) << wrong;
    EXPECT_NE(wrong.find("Verification Failed"), std::string::npos) << wrong;

    // Stop ends the server and removes its folder; a second Start makes a fresh one.
    const std::string folder = server.Folder();
    const int port = server.Port();
    server.Stop();
    EXPECT_FALSE(server.Running());
    EXPECT_FALSE(std::filesystem::exists(folder));
    EXPECT_EQ(ConnectLoopback(port), -1);
}

TEST(VpnServerRunner, ReportsWhyItCannotRun)
{
    VpnServerRunner::Options options;
    options.openvpnProgram = "/nonexistent/openvpn";
    std::string reason;
    EXPECT_FALSE(VpnServerRunner::CanRun(options, &reason));
    EXPECT_FALSE(reason.empty());
    VpnServerRunner server;
    EXPECT_FALSE(server.Start(options, &reason));
    EXPECT_FALSE(server.Running());
}
