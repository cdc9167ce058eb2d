#include "ui/CFVHomeInfo.h"

#include "ui/BrandingEntry.h"

#include "app/UiText.h"

#include "app/Installation.h"
#include "ui/CMemDCPNG.h"
#include "ui/hyperlink/CHyperLink.h"
#include "ui/pngbutton/CGdiPlusBitmapResource.h"

namespace {

const QColor kFrame(154, 154, 154);
const QColor kPanel(238, 238, 238);
constexpr int kFooterTop = 290;

QString EntryText(const _Resource_Info* entry)
{
    return entry != nullptr ? QString::fromStdString(entry->Text()) : QString();
}

} // namespace

CFVHomeInfo::CFVHomeInfo(const Installation& installation, QWidget* parent)
    : QWidget(parent), installation_(installation), hotline_(BrandingEntry::Find(installation, "hotline")),
      wslabel_(BrandingEntry::Find(installation, "wslabel")),
      compname_(installation.FindResource("compname")), dtver_(installation.FindResource("dtver")),
      qrCode_(installation.FindResource("qr_code.png")),
      iotLink_(new CHyperLink(UiText::tr("点击访问云服务平台"), this)),
      officeLink_(new CHyperLink(QStringLiteral("www"), this))
{
    setObjectName(QStringLiteral("CFVHomeInfo"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    iotLink_->setObjectName(QStringLiteral("iotLink"));
    officeLink_->setObjectName(QStringLiteral("officeLink"));
}

void CFVHomeInfo::OnInitialUpdate()
{
    const QString iot = EntryText(installation_.FindResource("ioturl"));
    const QString office = EntryText(installation_.FindResource("officeurl"));
    if (iot.isEmpty()) {
        iotLink_->hide();
    } else {
        iotLink_->SetUrl(iot);
        iotLink_->SetFont(14, 800);
    }
    if (office.isEmpty()) {
        officeLink_->hide();
    } else {
        officeLink_->SetUrl(office);
        officeLink_->SetText(office);
        officeLink_->SetFont(15, 500);
    }
}

void CFVHomeInfo::resizeEvent(QResizeEvent*)
{
    // The links sit beside the cloud logo of the footer; they fit their texts.
    const int x = width() / 3 + 95;
    iotLink_->move(x, kFooterTop + 13);
    officeLink_->move(x, kFooterTop + 36);
}

void CFVHomeInfo::paintEvent(QPaintEvent*)
{
    const QImage& speaker = speaker_;
    const QImage& cloudLogo = cloudLogo_;
    const QImage& phone = phone_;

    CMemDCPNG dc(this);
    QPainter& p = dc.Painter();
    const int w = width();
    const int h = height();
    const double c = w / 3.0;
    const QFont title = CMemDCPNG::YaHei(12, true);
    const QFont line = CMemDCPNG::YaHei(10);

    auto panel = [&](const QRectF& rect) {
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QPen(kFrame, 1.0));
        p.setBrush(kPanel);
        p.drawRect(rect);
        p.setRenderHint(QPainter::Antialiasing, true);
    };

    // Statistics.
    const QRectF panels[3] = {QRectF(0, 0, c, 100), QRectF(c + 10, 0, c, 100),
                              QRectF(2 * (c + 10), 0, c - 1, 100)};
    const QString titles[3] = {UiText::tr("网关统计"), UiText::tr("设备统计"), UiText::tr("报警统计")};
    const QString lines[3][2] = {{UiText::tr("我的网关：#/#台"), UiText::tr("总的网关：#/#台")},
                                 {UiText::tr("我的设备：#/#台"), UiText::tr("总的设备：#/#台")},
                                 {UiText::tr("今日报警：#/#条"), UiText::tr("总的报警：#/#条")}};
    for (int i = 0; i < 3; ++i) {
        const QRectF& r = panels[i];
        panel(r);
        dc.Text(QRectF(r.x() + 10, 10, r.width() - 10, 30), titles[i], title);
        dc.Text(QRectF(r.x() + 10, 40, r.width() - 10, 30), lines[i][0], line);
        dc.Text(QRectF(r.x() + 10, 70, r.width() - 10, 30), lines[i][1], line);
    }

    // Tasks.
    panel(QRectF(0, 110, w - 1, 80));
    dc.Text(QRectF(10, 120, w / 4.0 - 10, 30), UiText::tr("我的任务"), title);
    const double col1 = w / 4.0 + 10;
    const double col2 = w / 4.0 + 3.0 * w / 8.0;
    const double colWidth = 3.0 * w / 8.0 - 10;
    dc.Text(QRectF(col1, 120, colWidth, 30), UiText::tr("我的工单：#/#个"), line);
    dc.Text(QRectF(col2, 120, colWidth, 30), UiText::tr("今日工单：#/#个"), line);
    dc.Text(QRectF(col1, 150, colWidth, 30), UiText::tr("我的运维：#/#个"), line);
    dc.Text(QRectF(col2, 150, colWidth, 30), UiText::tr("今日运维：#/#个"), line);

    // Announcements.
    panel(QRectF(0, 200, w - 1, 80));
    p.drawImage(QRect(10, 210, 30, 30), speaker);
    dc.Text(QRectF(10, 240, 40, 30), UiText::tr("公告"), CMemDCPNG::YaHei(10, true));

    // Footer: the QR code at its entry's rectangle with the phone and its caption
    // under it; the cloud logo, the links and the installation's texts to its right.
    panel(QRectF(0, kFooterTop, w - 1, h - kFooterTop - 1));
    if (qrCode_ != nullptr && !qrCode_->data.empty()) {
        QImage qr;
        if (qr.loadFromData(qrCode_->data.data(), int(qrCode_->data.size())))
            p.drawImage(
                QRect(QPoint(qrCode_->left, qrCode_->top), QPoint(qrCode_->right - 1, qrCode_->bottom - 1)),
                qr);
    }
    const int qrBottom = qrCode_ != nullptr ? qrCode_->bottom : kFooterTop + 130;
    const int phoneX = int(c / 2) - 65;
    p.drawImage(QRect(phoneX, qrBottom + 8, 26, 40), phone);
    dc.Text(QRectF(phoneX + 32, qrBottom + 18, 120, 20), UiText::tr("手机端应用下载"),
            CMemDCPNG::YaHei(11, true));

    const double textX = c + 10;
    p.drawImage(QRect(int(textX), kFooterTop + 12, 70, 42), cloudLogo);
    const double textWidth = w - textX - 10;
    double y = kFooterTop + 65;
    const struct
    {
        const _Resource_Info* entry;
        QFont font;
    } texts[] = {
        {hotline_, line}, {wslabel_, line}, {compname_, title}, {dtver_, CMemDCPNG::YaHei(10, true)}};
    for (const auto& t : texts) {
        const QString text = EntryText(t.entry);
        if (!text.isEmpty())
            dc.Text(QRectF(textX, y, textWidth, 20), text, t.font);
        y += 30;
    }
}
