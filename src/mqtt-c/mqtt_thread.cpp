#include "mqtt-c/mqtt_thread.h"

#include "app/Installation.h"
#include "mqtt-c/MqttConnection.h"

#include <cstdlib>
#include <string>

void mqtt_thread_entry(const Installation& installation, MqttConnection& connection)
{
    const std::string host = installation.ResourceText("bh");
    const std::string port = installation.ResourceText("bp");
    const std::string username = installation.ResourceText("busername");
    const std::string password = installation.ResourceText("bpassword");
    connection.Run(host.c_str(), std::atoi(port.c_str()), username.c_str(), password.c_str());
}
