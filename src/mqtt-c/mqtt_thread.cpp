#include "mqtt-c/mqtt_thread.h"

#include "app/CustomResourceTable.h"
#include "mqtt-c/MqttConnection.h"

#include <cstdlib>
#include <string>

void mqtt_thread_entry(MqttConnection& connection)
{
    const std::string host = CustomResourceText("bh");
    const std::string port = CustomResourceText("bp");
    const std::string username = CustomResourceText("busername");
    const std::string password = CustomResourceText("bpassword");
    connection.Run(host.c_str(), std::atoi(port.c_str()), username.c_str(), password.c_str());
}
