#include "ui/CFVGatewayDetail.h"

#include "app/UiText.h"

#include "cloud/CNodeGateway.h"
#include "control/DeviceTableHost.h"
#include "ui/CMemDCPNG.h"
#include "ui/pngbutton/CGdiPlusBitmapResource.h"
#include "ui/pngbutton/CTabButton.h"

namespace {

const QColor kFrame(154, 154, 154);
const QColor kBoxFill(255, 255, 255);

QString Utf8(const std::string& text)
{
    return QString::fromStdString(text);
}

} // namespace

CFVGatewayDetail::CFVGatewayDetail(const TunnelServices& services, Session& session,
                                   DeviceTableHost* tableHost, TunnelHost* tunnelHost, QWidget* parent)
    : QWidget(parent), tableHost_(tableHost), controller_(session, services),
      switch_(new CTabButton(this, IDC_CHANNEL_SWITCH)), titleFont_(CMemDCPNG::YaHei(12, true)),
      textFont_(CMemDCPNG::YaHei(11))
{
    setObjectName(QStringLiteral("CFVGatewayDetail"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    switch_->setObjectName(QStringLiteral("channelSwitch"));
    controller_.SetDeviceTableHost(tableHost_);
    controller_.SetTunnelHost(tunnelHost);
    controller_.SetListener(this);
    connect(switch_, &CTabButton::clicked, this, [this] {
        controller_.ChannelSwitchClicked();
        SyncSwitch();
        update();
    });
}

CFVGatewayDetail::~CFVGatewayDetail()
{
    controller_.SetListener(nullptr);
}

void CFVGatewayDetail::OnInitialUpdate()
{
    switch_->LoadStdImage(151);
    switch_->LoadAltImage(152);
    switch_->SetOff();
}

void CFVGatewayDetail::SetLayout(int x, int y, int width, int height)
{
    layout_ = QRect(x, y, width, height);
    setGeometry(layout_);
    switch_->setGeometry(110, 160, 66, 25);
    switch_->update();
}

void CFVGatewayDetail::SetGateway(CNodeGateway* gateway)
{
    controller_.SetGateway(gateway);
    SyncSwitch();
    update();
}

void CFVGatewayDetail::LockSwitch(bool locked)
{
    controller_.LockSwitch(locked);
    switch_->setEnabled(!locked);
}

QRect CFVGatewayDetail::TableArea() const
{
    const int top = height() * 40 / 100 + 50;
    return QRect(10, top, width() - 20, height() - top - 1);
}

void CFVGatewayDetail::DetailChanged()
{
    // Painting only draws; the switch and the device table follow the data here, when
    // it changes, so that a view left alone is not painted again and again.
    SyncSwitch();
    const CNodeGateway* gateway = controller_.DisplayedGateway();
    if (gateway != nullptr && tableHost_ != nullptr)
        tableHost_->ShowDeviceList(gateway->devices);
    update();
}

bool CFVGatewayDetail::SwitchShouldBeOn() const
{
    const CNodeGateway* channel = controller_.ChannelGateway();
    const CNodeGateway* displayed = controller_.DisplayedGateway();
    return channel != nullptr && displayed != nullptr && channel->gwSn == displayed->gwSn &&
           channel->channelActive != 0;
}

void CFVGatewayDetail::SyncSwitch()
{
    if (SwitchShouldBeOn())
        switch_->SetOn();
    else
        switch_->SetOff();
}

void CFVGatewayDetail::paintEvent(QPaintEvent*)
{
    const QImage& online = online_;
    const QImage& cross = cross_;
    const QImage& pc = pc_;
    const QImage& bar = bar_;
    const QImage& cloud = cloud_;
    const QImage& box = box_;

    CMemDCPNG dc(this);
    QPainter& p = dc.Painter();
    const int w = width();
    const int h = height();
    const int c = (w - 20) / 3;
    const int split = h * 40 / 100;
    const CNodeGateway* gateway = controller_.DisplayedGateway();

    p.setPen(QPen(kFrame, 1.0));
    p.setBrush(kBoxFill);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.drawRect(0, 0, w - 1, split);
    p.drawRect(0, split + 10, w - 1, h - split - 11);
    p.setRenderHint(QPainter::Antialiasing, true);

    const QString sn = gateway != nullptr ? Utf8(gateway->gwSn) : QString();
    dc.Text(QRectF(10, 10, w - 1, 30), UiText::tr("网关信息：") + sn, titleFont_);
    dc.Text(QRectF(20, 40, w - 40, 30),
            UiText::tr("网关名称：") + (gateway != nullptr ? Utf8(gateway->gwName) : QString()), textFont_);
    dc.Text(QRectF(20, 70, w - 40, 30),
            UiText::tr("所属节点：") + (gateway != nullptr ? Utf8(gateway->nodeName) : QString()), textFont_);
    dc.Text(QRectF(20, 100, c, 30), UiText::tr("在线状况："), textFont_);
    p.drawImage(QRect(95, 100, 22, 22), gateway != nullptr && gateway->IsOnline() ? online : cross);
    dc.Text(QRectF(c + 20, 100, c, 30), UiText::tr("信号值   ："), textFont_);
    dc.Text(QRectF(20, 130, w - 10, 30),
            UiText::tr("LAN IP  ：") + (gateway != nullptr ? Utf8(gateway->lanIp) : QString()), textFont_);
    dc.Text(QRectF(20, 160, 90, 30), UiText::tr("维护通道："), titleFont_);
    dc.Text(QRectF(c + 20, 160, 90, 30), UiText::tr("通道状态："), titleFont_);

    p.drawImage(QRect(c + 110, 160, 30, 30), pc);
    p.drawImage(QRect(c + 140, 167, 80, 15), bar);
    p.drawImage(QRect(c + 220, 160, 50, 30), cloud);
    p.drawImage(QRect(c + 270, 167, 80, 15), bar);
    p.drawImage(QRect(c + 350, 153, 33, 40), box);
    if (gateway != nullptr && gateway->linkUp == 0) {
        p.drawImage(QRect(c + 169, 163, 22, 22), cross);
        p.drawImage(QRect(c + 299, 163, 22, 22), cross);
    }
    dc.Text(QRectF(10, split + 20, w - 1, 30), UiText::tr("设备列表"), titleFont_);
}
