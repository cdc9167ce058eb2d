#pragma once

// The MQTT thread's start routine: reads the broker entries "bh" (host), "bp" (port),
// "busername" and "bpassword" from the custom resource table and runs the client
// (mqtt_client_run) for the life of the process. The PC identifier must have been
// handed over with mqtt_set_pc_id before the thread starts, e.g.
//     std::thread(mqtt_thread_entry).detach();
void mqtt_thread_entry();
