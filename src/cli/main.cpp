#include "CliApp.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    // The event loop object is there for the commands that keep tunnels and sockets
    // open; the listing commands never enter the loop.
    QCoreApplication application(argc, argv);
    CliApp cli;
    return cli.Run(argc, argv);
}
