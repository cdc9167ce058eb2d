#include "ui/TunnelStatsTip.h"

#include "app/UiText.h"

#include "tunnel/CDataTunnel.h"

#include <QEvent>
#include <QHelpEvent>
#include <QToolTip>
#include <QWidget>

#include <utility>

TunnelStatsTip::TunnelStatsTip(QWidget* table, TunnelAt tunnelAt)
    : QObject(table), table_(table), tunnelAt_(std::move(tunnelAt))
{
    refresh_.setInterval(kRefreshMs);
    connect(&refresh_, &QTimer::timeout, this, [this] {
        if (!QToolTip::isVisible() || !Show()) {
            refresh_.stop();
        }
    });
    table_->installEventFilter(this);
}

QString TunnelStatsTip::Text(const TunnelStats::Figures& figures)
{
    const qint64 seconds = figures.openNs / 1000000000;
    const QString open = QStringLiteral("%1:%2:%3")
                             .arg(seconds / 3600)
                             .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
                             .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    QString text = UiText::tr("发送 %1 字节，接收 %2 字节，速率 %3 B/s\n已打开 %4，重连 %5 次\n")
                       .arg(figures.txBytes)
                       .arg(figures.rxBytes)
                       .arg(figures.rateBytesPerSecond)
                       .arg(open)
                       .arg(figures.reconnects);
    if (figures.exchanges == 0) {
        return text + UiText::tr("往返时间：暂无");
    }
    const int64_t timeoutMs = (figures.timeoutNs + 999999) / 1000000;
    return text + UiText::tr("往返时间 中位 %1 ms，95% %2 ms（最近 %3 次），建议超时 %4 ms")
                      .arg(QString::fromStdString(TunnelStats::Milliseconds(figures.rtt50Ns)))
                      .arg(QString::fromStdString(TunnelStats::Milliseconds(figures.rtt95Ns)))
                      .arg(figures.exchanges)
                      .arg(timeoutMs);
}

bool TunnelStatsTip::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != table_) {
        return false;
    }
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        pos_ = help->pos();
        globalPos_ = help->globalPos();
        if (Show()) {
            refresh_.start();
        } else {
            refresh_.stop();
            QToolTip::hideText();
        }
        return true;
    }
    if (event->type() == QEvent::Leave) {
        refresh_.stop();
    }
    return false;
}

bool TunnelStatsTip::Show()
{
    const CDataTunnel* tunnel = tunnelAt_ ? tunnelAt_(pos_) : nullptr;
    if (tunnel == nullptr) {
        QToolTip::hideText();
        return false;
    }
    QToolTip::showText(globalPos_, Text(tunnel->Stats().Read()), table_);
    return true;
}
