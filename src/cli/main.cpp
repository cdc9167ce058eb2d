#include "CliApp.h"
#include "app/Installation.h"
#include "platform/ExecutablePath.h"
#include "platform/UiLanguage.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    // The event loop object is there for the commands that keep tunnels and sockets
    // open; the listing commands never enter the loop.
    QCoreApplication application(argc, argv);
    // The messages in Chinese or English, from LUMETRA_LANG or the locale.
    platform::UiLanguage::Install(platform::UiLanguage::FromEnvironment(), platform::ExecutableFolder());
    // The program's installation: its folder, its custom resources, PC identifier
    // and trace log, brought up by the commands that need it.
    Installation installation;
    CliApp cli(installation);
    return cli.Run(argc, argv);
}
