#pragma once

class Installation;
class MessagePublisher;
class TraceLog;
class TunnelHost;

// What a tunnel is handed at construction to reach the world around it. The
// pointers are not owned and outlive the tunnels.
struct TunnelServices
{
    // The broker connection the tunnel publishes its messages on; null publishes
    // nothing (as a connection that is not set up).
    MessagePublisher* publisher = nullptr;
    // The installation whose custom resources (server addresses) and PC identifier
    // the tunnel uses; null reads as an empty table and an empty identifier.
    const Installation* installation = nullptr;
    // The trace log of the data the tunnel sends; null writes no trace.
    TraceLog* trace = nullptr;
    // What the program that runs the tunnels offers them (the local listener, the
    // virtual COM pairs); null offers nothing: a serial tunnel then finds no pair.
    TunnelHost* host = nullptr;
};
