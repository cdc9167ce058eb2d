#pragma once

class MqttConnection;

// The MQTT thread's start routine: reads the broker entries "bh" (host), "bp" (port),
// "busername" and "bpassword" from the custom resource table and runs `connection`
// (MqttConnection::Run) until it is stopped. The PC identifier must have been
// handed to the connection before the thread starts, e.g.
//     std::thread([&connection] { mqtt_thread_entry(connection); }).detach();
void mqtt_thread_entry(MqttConnection& connection);
