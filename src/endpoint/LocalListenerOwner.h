#pragma once

#include "endpoint/LocalDataOwner.h"

// A tunnel for which the local listener host listens: the type code of its device
// chooses the port, and the connections accepted for it hand their bytes to it.
class LocalListenerOwner : public LocalDataOwner
{
public:
    // The device type code (the device record's protocol field).
    virtual int ListenerDeviceType() const = 0;
};
