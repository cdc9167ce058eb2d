#pragma once

// Loopback TCP ports for servers started by tests.
class FreePort
{
public:
    // A port free on 127.0.0.1 right now, taken at random below the kernel's
    // ephemeral range: a port the kernel hands out for a bind to port 0 (the far
    // side's simulated devices) or an outgoing connection would otherwise be picked
    // as well, and the server that was to listen on it would find it taken. Falls
    // back to a port the kernel reports free; 0 when no socket could be made.
    static int Pick();
    // Whether a listening socket can be bound to 127.0.0.1:port right now.
    static bool IsFree(int port);
    // The same on another loopback address (a dotted IPv4 address).
    static bool IsFree(int port, const char* host);
    // Whether a server on 127.0.0.1:port accepts a connection right now.
    static bool Accepts(int port);
};
