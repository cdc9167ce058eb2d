// A process that runs the MQTT client exactly as the window program's MQTT thread
// does and prints every dispatched message as a line, for tests that need to kill
// the client's process.
//   mqtt_client_probe <PC identifier> <host> <port> <user> <password>

#include "mqtt-c/DispatchLinePrinter.h"
#include "mqtt-c/mosquitto_wrapper.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

int main(int argc, char** argv)
{
    if (argc != 6) {
        std::fprintf(stderr, "usage: mqtt_client_probe <pc id> <host> <port> <user> <password>\n");
        return 2;
    }
    QCoreApplication app(argc, argv);
    DispatchLinePrinter printer(stdout);
    mqtt_set_pc_id(argv[1], std::strlen(argv[1]));
    mqtt_set_target_window(&printer);
    const std::string host = argv[2];
    const int port = std::atoi(argv[3]);
    const std::string user = argv[4];
    const std::string password = argv[5];
    std::thread([=] {
        mqtt_client_run(host.c_str(), port, user.c_str(), password.c_str());
        QCoreApplication::exit(1);
    }).detach();
    return app.exec();
}
