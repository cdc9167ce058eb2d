#pragma once

class MessagePublisher;

// What a tunnel is handed at construction to reach the world around it. The
// pointers are not owned and outlive the tunnels.
struct TunnelServices
{
    // The broker connection the tunnel publishes its messages on; null publishes
    // nothing (as a connection that is not set up).
    MessagePublisher* publisher = nullptr;
};
