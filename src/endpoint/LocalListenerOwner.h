#pragma once

#include "endpoint/LocalDataOwner.h"

#include <string>

// A tunnel for which the local listener host listens: the type code of its device
// chooses the port, its device serial the address when the default one is taken,
// and the connections accepted for it hand their bytes to it.
class LocalListenerOwner : public LocalDataOwner
{
public:
    // The device type code (the device record's protocol field).
    virtual int ListenerDeviceType() const = 0;
    // The device serial (the address it is remembered with).
    virtual std::string ListenerDeviceSn() const = 0;
};
