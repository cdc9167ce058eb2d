#include "CliApp.h"

#include "CliConsole.h"
#include "DevicesCommand.h"
#include "DoctorCommand.h"
#include "GatewaysCommand.h"
#include "ListenCommand.h"
#include "LoginCommand.h"
#include "LumetraVersion.h"
#include "OpenCommand.h"
#include "VpnCommand.h"
#include "app/Installation.h"
#include "cloud/CCloudClient.h"
#include "control/Session.h"

#include <QFile>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

bool IsHelp(const std::string& word)
{
    return word == "--help" || word == "-h" || word == "help";
}

} // namespace

CliApp::CliApp(Installation& installation) : installation_(installation)
{
    registry_.Add(std::make_unique<LoginCommand>(installation_));
    registry_.Add(std::make_unique<GatewaysCommand>(installation_));
    registry_.Add(std::make_unique<DevicesCommand>(installation_));
    registry_.Add(std::make_unique<ListenCommand>(installation_));
    registry_.Add(std::make_unique<OpenCommand>(installation_));
    registry_.Add(std::make_unique<VpnCommand>(installation_));
    registry_.Add(std::make_unique<DoctorCommand>(installation_));
}

void CliApp::PrintUsage(bool toStdout) const
{
    std::string text = "usage: lumetra-cli <command> [arguments]\n\ncommands:\n";
    for (const std::unique_ptr<CliCommand>& command : registry_.Commands()) {
        const std::string head = std::string("  ") + command->Name() + " " + command->Synopsis();
        text += head + "\n      " + command->Summary() + "\n";
    }
    text += "\n'lumetra-cli <command> --help' describes a command's options.\n"
            "The installation's custom_resource/platconf is read beside the program, else\n"
            "from ../share/lumetra; the login cache licache, the trace log and the VPN files\n"
            "go to $XDG_DATA_HOME/lumetra (~/.local/share/lumetra). LUMETRA_HOME names one\n"
            "folder for both instead.\n"
            "A word that starts with '-' but is not an option goes after '--'.\n"
            "Exit status: 0 done, 1 failed, 2 wrong command line.\n"
            "'lumetra-cli --version' prints the version.\n";
    std::fputs(text.c_str(), toStdout ? stdout : stderr);
}

void CliApp::PrintCommandUsage(const CliCommand& command, bool toStdout) const
{
    std::string text = std::string("usage: lumetra-cli ") + command.Name() + " " + command.Synopsis() +
                       "\n  " + command.Summary() + "\n" + command.Details();
    std::fputs(text.c_str(), toStdout ? stdout : stderr);
}

std::unique_ptr<Session> CliApp::StartUp()
{
    installation_.LoadCustomResources();
    const WebEndpoint web = installation_.WebService();
    if (!web.hostPresent || !web.portPresent || web.host.empty()) {
        CliConsole::Error("installation has no platconf with wsh/wsp (looked for " +
                          QFile::encodeName(installation_.CustomResourcePath()).toStdString() +
                          "); run from an installation folder or set LUMETRA_HOME to one");
        return nullptr;
    }
    if (web.port <= 0 || web.port > 65535) {
        CliConsole::Error("the platconf entry wsp is not a port number: '" + web.portText + "'");
        return nullptr;
    }
    if (installation_.LoginCacheOpenToOthers()) {
        const std::string cache = QFile::encodeName(installation_.LoginCachePath()).toStdString();
        CliConsole::Error("the login cache " + cache +
                          " may be read or written by other users, so it is not used; make it yours "
                          "alone: chmod 600 " +
                          cache);
        return nullptr;
    }
    auto session = std::make_unique<Session>(CCloudClient(web.host.c_str(), web.port));
    installation_.SettlePcId();
    return session;
}

int CliApp::Run(int argc, char** argv)
{
    std::vector<std::string> words(argv + 1, argv + argc);
    if (words.empty()) {
        PrintUsage(false);
        return kExitUsage;
    }
    if (words[0] == "--version") {
        std::printf("lumetra-cli %s\n", LUMETRA_VERSION);
        return kExitOk;
    }
    if (IsHelp(words[0])) {
        const CliCommand* command = words.size() > 1 ? registry_.Find(words[1]) : nullptr;
        if (command != nullptr)
            PrintCommandUsage(*command, true);
        else
            PrintUsage(true);
        return kExitOk;
    }
    CliCommand* command = registry_.Find(words[0]);
    if (command == nullptr) {
        CliConsole::Error(
            (words[0].size() > 1 && words[0][0] == '-' ? "unknown option '" : "unknown command '") +
            words[0] + "'");
        PrintUsage(false);
        return kExitUsage;
    }
    const std::vector<std::string> args(words.begin() + 1, words.end());
    for (const std::string& word : args) {
        if (word == "--")
            break;
        if (word == "--help" || word == "-h") {
            PrintCommandUsage(*command, true);
            return kExitOk;
        }
    }
    if (!command->Parse(args)) {
        PrintCommandUsage(*command, false);
        return kExitUsage;
    }
    std::unique_ptr<Session> session;
    if (command->NeedsInstallation()) {
        session = StartUp();
        if (!session)
            return kExitFailed;
    } else {
        session = std::make_unique<Session>(CCloudClient());
    }
    return command->Execute(*session);
}
