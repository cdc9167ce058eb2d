#pragma once

#include "platform/OffUiThread.h"

// The window's busy indicator: the wait cursor over the whole application while the
// UI thread waits for the web service.
class BusyCursor : public platform::BusyIndicator
{
public:
    void Begin() override;
    void End() override;
};
