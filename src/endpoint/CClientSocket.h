#pragma once

#include "endpoint/CSocket.h"

// A plain client connection: every notification keeps the base behaviour.
class CClientSocket : public CSocket
{
public:
    CClientSocket() = default;
};
