#pragma once

#include "app/JsonPtr.h"

#include <string>

struct cJSON;
class LocalListenerOwner;

// The local listener of the port-forward tunnels as they reach it: one listening
// socket per tunnel and the connections each accepted (the listener host of the
// window and of lumetra-cli). Every call runs on the UI thread; `owner` is the listener side
// of the calling tunnel, `message` the inbound message the tunnel passes on (may be
// null, valid during the call only).
class PortForwardListener
{
public:
    virtual ~PortForwardListener() = default;

    // Closes `owner`'s listening socket, if any, and opens one for it on the port of
    // its device type. Returns the answer for the tunnel's observer,
    // {"flag":1,"msg":""} or {"flag":0,"msg":<why>}; null when none could be made.
    virtual JsonPtr SetUp(LocalListenerOwner& owner) = 0;
    // Closes `owner`'s listening socket; the connections it accepted stay. The other
    // tunnels' listeners are left as they are.
    virtual void Close(LocalListenerOwner& owner) = 0;
    // Where `owner`'s listening socket listens, "<address>:<port>"; empty when it has
    // none.
    virtual std::string Where(const LocalListenerOwner& owner) const = 0;

    // Stops (`hold`) or resumes the reading of every connection accepted for `owner`:
    // the tunnel cannot pass more on for now (its relay connection is backlogged).
    virtual void HoldReading(LocalListenerOwner& owner, bool hold) = 0;

    // cmdId 2986: the far side matched the local connection.
    virtual void OnMatched(LocalListenerOwner& owner, const cJSON* message) = 0;
    // cmdId 2987: the far side acknowledged bytes.
    virtual void OnAck(LocalListenerOwner& owner, const cJSON* message) = 0;
    // cmdId 2988: bytes for the local connection.
    virtual void OnData(LocalListenerOwner& owner, const cJSON* message) = 0;
    // cmdId 2991: a notice of the far side.
    virtual void OnNotice(LocalListenerOwner& owner, const cJSON* message) = 0;
};
