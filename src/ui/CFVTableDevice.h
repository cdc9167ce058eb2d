#pragma once

#include <QImage>

#include "ui/pngbutton/CGdiPlusBitmapResource.h"

#include <QWidget>

#include <memory>
#include <vector>

class CNodeDevice;
class CTabButton;
class GatewayDetailController;

// The device table: a painted grid of the displayed gateway's devices under a grey
// header row, always seven body rows, and in each row of a tunnel-capable device
// (tunnel type 1 or 2) the on/off button of its tunnel. A press asks the gateway
// detail controller to open or close that device's tunnel. Resting the mouse on the
// row of an open tunnel shows its live figures (TunnelStatsTip).
class CFVTableDevice : public QWidget
{
public:
    // The displayed gateway's devices (CNodeGateway::devices), owned by the gateway.
    using DeviceList = std::vector<std::unique_ptr<CNodeDevice>>;

    static constexpr int kRows = 7;
    static constexpr int kRowHeight = 30;
    static constexpr int IDC_ROW_FIRST = 1028; // row buttons 1028 ... 1034

    explicit CFVTableDevice(QWidget* parent);

    // The list to show (owned by the gateway record) and the controller that takes
    // the open and close requests (none when null).
    void SetDevices(const DeviceList* devices, GatewayDetailController* controller);
    // Sets the button of row `row` (0 to 6) off.
    void ResetRowButton(int row);
    // Row `row` (0 to 6) pressed: open or close that row's device.
    void OnRowButton(int row);

    CTabButton* RowButton(int row) const;
    const DeviceList* Devices() const { return devices_; }

    // Column edges for the client width `width`: the left edges of the six columns
    // and the right edge of the last.
    static std::vector<int> ColumnEdges(int width);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    CNodeDevice* DeviceAt(int row) const;
    // Shows each row's button as its device asks (type 1 or 2; on when open).
    void SyncButtons();

    const DeviceList* devices_ = nullptr;
    GatewayDetailController* controller_ = nullptr;
    std::vector<CTabButton*> buttons_;

    // Images drawn by paintEvent, loaded once per view.
    const QImage online_ = CGdiPlusBitmapResource::Get(145);
    const QImage offline_ = CGdiPlusBitmapResource::Get(146);
};
