#pragma once

#include <QImage>

#include "ui/pngbutton/CGdiPlusBitmapResource.h"

#include "control/GatewayDetailController.h"
#include "control/GatewayDetailListener.h"

#include <QFont>
#include <QRect>
#include <QWidget>

class CNodeGateway;
class CTabButton;
class DeviceTableHost;
class Session;

// The gateway detail view: the card of the displayed gateway (serial number, name,
// node, online state, LAN address), the maintenance channel switch and the picture
// of the PC-cloud-gateway link, above the "设备列表" box that holds the device table.
// The flows behind the switch and the device rows are the controller's; the view
// draws its state and forwards the switch's clicks.
class CFVGatewayDetail : public QWidget, public GatewayDetailListener
{
public:
    static constexpr int IDC_CHANNEL_SWITCH = 1012;

    // The controller's tunnels get `services` and `tunnelHost`; its device lists come
    // from `session`.
    // `tableHost` shows the device table of the displayed gateway.
    CFVGatewayDetail(const TunnelServices& services, Session& session, DeviceTableHost* tableHost,
                     TunnelHost* tunnelHost, QWidget* parent);
    ~CFVGatewayDetail() override;

    // Once, after creation: the switch's images, switched off.
    void OnInitialUpdate();
    // Places the view (main window coordinates) and the switch inside it.
    void SetLayout(int x, int y, int width, int height);
    void SetGateway(CNodeGateway* gateway);
    void LockSwitch(bool locked);

    // The rectangle, in view coordinates, that the device table fills.
    QRect TableArea() const;

    GatewayDetailController& Controller() { return controller_; }
    CTabButton* ChannelSwitch() const { return switch_; }

    // GatewayDetailListener
    void DetailChanged() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // On when the channel gateway is the displayed one and its channel is active.
    bool SwitchShouldBeOn() const;
    void SyncSwitch();

    DeviceTableHost* tableHost_;
    GatewayDetailController controller_;
    CTabButton* switch_;
    QRect layout_;
    QFont titleFont_;
    QFont textFont_;

    // Images drawn by paintEvent, loaded once per view.
    const QImage online_ = CGdiPlusBitmapResource::Get(145);
    const QImage cross_ = CGdiPlusBitmapResource::Get(146);
    const QImage pc_ = CGdiPlusBitmapResource::Get(147);
    const QImage bar_ = CGdiPlusBitmapResource::Get(148);
    const QImage cloud_ = CGdiPlusBitmapResource::Get(149);
    const QImage box_ = CGdiPlusBitmapResource::Get(150);
};
