#include "ui/CFVTableDevice.h"

#include "app/UiText.h"

#include "cloud/CNodeDevice.h"
#include "control/GatewayDetailController.h"
#include "tunnel/CDataTunnel.h"
#include "ui/CMemDCPNG.h"
#include "ui/TunnelStatsTip.h"
#include "ui/pngbutton/CGdiPlusBitmapResource.h"
#include "ui/pngbutton/CTabButton.h"

namespace {

const QColor kGrid(154, 154, 154);
const QColor kHeaderFill(238, 238, 238);
constexpr int kButtonX = 442;
constexpr int kButtonWidth = 130;
constexpr int kButtonHeight = 29;
constexpr int kIconSize = 22;
// The parameter cell of a device whose open tunnel lost its data connection.
constexpr const char* kTextLinkLost = QT_TRANSLATE_NOOP("UiText", "连接中断，正在重连");

} // namespace

CFVTableDevice::CFVTableDevice(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("CFVTableDevice"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    for (int row = 0; row < kRows; ++row) {
        auto* button = new CTabButton(this, IDC_ROW_FIRST + row);
        button->setObjectName(QStringLiteral("row%1").arg(row + 1));
        button->LoadStdImage(177);
        button->LoadAltImage(176);
        button->setGeometry(kButtonX, (row + 1) * kRowHeight, kButtonWidth, kButtonHeight);
        button->hide();
        connect(button, &CTabButton::clicked, this, [this, row] { OnRowButton(row); });
        buttons_.push_back(button);
    }
    new TunnelStatsTip(this, [this](QPoint pos) -> const CDataTunnel* {
        const CNodeDevice* device = pos.y() >= kRowHeight ? DeviceAt(pos.y() / kRowHeight - 1) : nullptr;
        const CDataTunnel* tunnel =
            device != nullptr && controller_ != nullptr ? controller_->DeviceTunnel(device) : nullptr;
        return tunnel != nullptr && controller_->IsActive(tunnel) ? tunnel : nullptr;
    });
}

std::vector<int> CFVTableDevice::ColumnEdges(int width)
{
    return {0, 50, 130, 230, 310, 310 + (width - 310) / 2, width};
}

void CFVTableDevice::SetDevices(const DeviceList* devices, GatewayDetailController* controller)
{
    devices_ = devices;
    controller_ = controller;
    SyncButtons();
    update();
}

void CFVTableDevice::ResetRowButton(int row)
{
    if (row < 0 || row >= kRows)
        return;
    buttons_[row]->SetOff();
}

CTabButton* CFVTableDevice::RowButton(int row) const
{
    return row >= 0 && row < kRows ? buttons_[row] : nullptr;
}

CNodeDevice* CFVTableDevice::DeviceAt(int row) const
{
    if (devices_ == nullptr || row < 0 || row >= int(devices_->size()))
        return nullptr;
    return (*devices_)[row].get();
}

void CFVTableDevice::OnRowButton(int row)
{
    CNodeDevice* device = DeviceAt(row);
    if (device == nullptr)
        return;
    device->rowIndex = row;
    CTabButton* button = buttons_[row];
    // The handler of the request may clear the flag again (refusal, offline
    // gateway, a tunnel of the same type running); the next sync shows that.
    if (device->tunnelOpen != 0) {
        button->SetOff();
        if (controller_ != nullptr)
            controller_->CloseRequest(device);
    } else {
        button->SetOn();
        device->tunnelOpen = 1;
        if (controller_ != nullptr)
            controller_->OpenRequest(device);
    }
    SyncButtons();
    update();
}

void CFVTableDevice::SyncButtons()
{
    for (int row = 0; row < kRows; ++row) {
        const CNodeDevice* device = DeviceAt(row);
        CTabButton* button = buttons_[row];
        if (device == nullptr || !device->IsTunnelCapable()) {
            button->hide();
            continue;
        }
        if (device->tunnelOpen != 0)
            button->SetOn();
        else
            button->SetOff();
        button->show();
    }
}

void CFVTableDevice::resizeEvent(QResizeEvent*)
{
    const std::vector<int> edges = ColumnEdges(width());
    for (int row = 0; row < kRows; ++row)
        buttons_[row]->setGeometry(edges[5], (row + 1) * kRowHeight, kButtonWidth, kButtonHeight);
}

void CFVTableDevice::paintEvent(QPaintEvent*)
{
    const QImage& online = online_;
    const QImage& offline = offline_;
    CMemDCPNG dc(this);
    QPainter& p = dc.Painter();
    const int w = width();
    const std::vector<int> edges = ColumnEdges(w);
    const int bottom = (kRows + 1) * kRowHeight;

    p.fillRect(QRect(0, 0, w, kRowHeight), kHeaderFill);
    const QString titles[] = {QStringLiteral("ID"), UiText::tr("状态"),     UiText::tr("设备名称"),
                              UiText::tr("接口"),   UiText::tr("通信参数"), UiText::tr("操作")};
    const QFont titleFont = CMemDCPNG::YaHei(12, true);
    const QFont bodyFont = CMemDCPNG::YaHei(10);
    for (int c = 0; c < 6; ++c)
        dc.Text(QRectF(edges[c] + 5, 0, edges[c + 1] - edges[c] - 5, kRowHeight), titles[c], titleFont);

    for (int row = 0; row < kRows; ++row) {
        const CNodeDevice* device = DeviceAt(row);
        if (device == nullptr)
            continue;
        const int y = (row + 1) * kRowHeight;
        auto cell = [&](int c) { return QRectF(edges[c] + 5, y, edges[c + 1] - edges[c] - 5, kRowHeight); };
        dc.Text(cell(0), device->id, bodyFont);
        const QImage& icon = device->online != 0 ? online : offline;
        p.drawImage(QRect(edges[1] + (edges[2] - edges[1] - kIconSize) / 2, y + (kRowHeight - kIconSize) / 2,
                          kIconSize, kIconSize),
                    icon);
        p.save();
        for (int c : {2, 3, 4}) {
            p.setClipRect(QRectF(edges[c], y, edges[c + 1] - edges[c], kRowHeight));
            // While an open tunnel's data connection is lost and being made again, the
            // parameter cell says so instead.
            const CDataTunnel* tunnel = controller_ != nullptr ? controller_->DeviceTunnel(device) : nullptr;
            const bool lost = tunnel != nullptr && tunnel->LinkLost();
            const QString text = c == 2                   ? device->deviceName
                                 : c == 3                 ? device->ifaceTypeName
                                 : lost                   ? UiText::tr(kTextLinkLost)
                                 : controller_ != nullptr ? controller_->ConnectAddress(device)
                                                          : device->AddressText();
            dc.Text(cell(c), text, bodyFont);
        }
        p.restore();
    }

    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(kGrid, 1.0));
    for (int row = 0; row <= kRows + 1; ++row)
        p.drawLine(0, std::min(row * kRowHeight, bottom - 1), w - 1, std::min(row * kRowHeight, bottom - 1));
    for (int c = 0; c <= 6; ++c)
        p.drawLine(std::min(edges[c], w - 1), 0, std::min(edges[c], w - 1), bottom - 1);
}
