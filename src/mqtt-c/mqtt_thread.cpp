#include "mqtt-c/mqtt_thread.h"

#include "app/CustomResourceTable.h"
#include "mqtt-c/mosquitto_wrapper.h"

#include <cstdlib>
#include <string>

void mqtt_thread_entry()
{
    const std::string host = CustomResourceText("bh");
    const std::string port = CustomResourceText("bp");
    const std::string username = CustomResourceText("busername");
    const std::string password = CustomResourceText("bpassword");
    mqtt_client_run(host.c_str(), std::atoi(port.c_str()), username.c_str(), password.c_str());
}
