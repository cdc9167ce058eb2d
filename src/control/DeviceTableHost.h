#pragma once

#include <memory>
#include <vector>

class CNodeDevice;

// The part of the main window that shows the displayed gateway's device table, as
// the gateway detail controller and its view reach it (the window, or lumetra-cli's
// detail session). Every call runs on the UI thread.
class DeviceTableHost
{
public:
    using DeviceList = std::vector<std::unique_ptr<CNodeDevice>>;

    virtual ~DeviceTableHost() = default;

    // The device list of the displayed gateway, to be shown as the device table. The
    // list is the gateway record's and outlives the table's use of it.
    virtual void ShowDeviceList(const DeviceList& devices) = 0;
    // A waiting dialog timed out: the button of device-table row `row` (-1 for none)
    // goes back to off.
    virtual void ResetRowButton(int row) = 0;
};
