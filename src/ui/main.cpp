// lumetra: the desktop client.
//
//   lumetra [--screenshot FILE]
//   lumetra --help | --version
//
// The installation's custom_resource/platconf is read beside the program or from
// ../share/lumetra; the login cache, the trace log and the VPN files are written to
// $XDG_DATA_HOME/lumetra (app/ProgramFolder.h). LUMETRA_HOME names one folder for
// both. With --screenshot the window saves an image of itself as PNG after its first
// paint and closes. Exit status 1 when the installation cannot be used (one box
// says why).

#include "LumetraVersion.h"
#include "app/Installation.h"
#include "endpoint/VpnClientControl.h"
#include "platform/ExecutablePath.h"
#include "platform/UiLanguage.h"
#include "ui/Clumetra_uniApp.h"

#include <QApplication>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    QString screenshot;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc) {
            screenshot = QString::fromLocal8Bit(argv[++i]);
        } else if (std::strcmp(argv[i], "--help") == 0) {
            std::printf("usage: lumetra [--screenshot FILE]\n"
                        "       lumetra --help | --version\n");
            return 0;
        } else if (std::strcmp(argv[i], "--version") == 0) {
            // Answered before QApplication exists: no display is needed.
            std::printf("lumetra %s\n", LUMETRA_VERSION);
            return 0;
        } else {
            std::fprintf(stderr, "lumetra: unknown argument %s\nusage: lumetra [--screenshot FILE]\n",
                         argv[i]);
            return 2;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumetra"));
    QApplication::setQuitOnLastWindowClosed(false);
    // Chinese or English, from LUMETRA_LANG or the locale.
    platform::UiLanguage::Install(platform::UiLanguage::FromEnvironment(), platform::ExecutableFolder());
    // The program's installation. It is never destroyed: the process ends below
    // without unwinding, while the MQTT thread and the tunnels may still use it.
    Installation installation;
    Clumetra_uniApp theApp(installation, screenshot);
    theApp.InitInstance();
    // However the window closed, the OpenVPN client this run started does not outlive
    // the program (the quit button has already ended it; then this finds nothing).
    StopVpnClients();
    // The trace entries still queued go to the file before the process ends; entries
    // of threads that still run are dropped from here on.
    installation.Trace().Close();
    // The MQTT thread, tunnels and their threads are not stopped one by one: the end
    // of the process ends them.
    std::fflush(nullptr);
    std::_Exit(theApp.ExitCode());
}
