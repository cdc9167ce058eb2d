#pragma once

class Installation;
class MqttConnection;

// The MQTT thread's start routine: reads the broker entries "bh" (host), "bp" (port),
// "busername" and "bpassword" from the installation's custom resources and runs
// `connection` (MqttConnection::Run) until it is stopped. The PC identifier must
// have been handed to the connection before the thread starts, e.g.
//     std::thread([&] { mqtt_thread_entry(installation, connection); }).detach();
void mqtt_thread_entry(const Installation& installation, MqttConnection& connection);
