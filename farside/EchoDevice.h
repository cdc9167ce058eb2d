#pragma once

#include "DeviceSimulator.h"

// A device that sends back every byte it receives, at once and on the feeding thread.
class EchoDevice : public DeviceSimulator
{
public:
    void Feed(const std::string& bytes) override { Emit(bytes); }
};
