#pragma once

class MessageWindow;

// Brings the broker connection up exactly as the window's start-up does: hands the
// PC identifier to the MQTT client, makes `target` the receiver of inbound messages
// and starts the MQTT thread with the installation's broker entries. The client's
// own diagnostics go to standard error so standard output carries only results.
class CliMqttSession
{
public:
    // False (after a message) when the installation lacks the broker entries.
    static bool Start(MessageWindow* target);
    // Disconnects cleanly (no last will).
    static void Stop();
};
