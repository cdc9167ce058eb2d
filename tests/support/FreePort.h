#pragma once

// Loopback TCP ports for servers started by tests.
class FreePort
{
public:
    // A port that the kernel reports free on 127.0.0.1 (bound to port 0, then
    // released); 0 when no socket could be made.
    static int Pick();
    // Whether a listening socket can be bound to 127.0.0.1:port right now.
    static bool IsFree(int port);
    // The same on another loopback address (a dotted IPv4 address).
    static bool IsFree(int port, const char* host);
    // Whether a server on 127.0.0.1:port accepts a connection right now.
    static bool Accepts(int port);
};
