#pragma once

#include "tunnel/TunnelStats.h"

#include <QObject>
#include <QPoint>
#include <QString>
#include <QTimer>

#include <functional>

class CDataTunnel;
class QWidget;

// The live figures of a tunnel as the tooltip of its row: resting the mouse on the
// row of an open tunnel shows bytes each way, the rate, the time open, the reconnects
// and the round trip with its suggested time-out, refreshed once a second while the
// tooltip shows. Nothing runs while no such tooltip is up. Watches `table` through an
// event filter; the layout of the table stays as it is.
class TunnelStatsTip : public QObject
{
public:
    static constexpr int kRefreshMs = 1000;
    // The open tunnel of the row under `pos` (table coordinates), or null.
    using TunnelAt = std::function<const CDataTunnel*(QPoint pos)>;

    TunnelStatsTip(QWidget* table, TunnelAt tunnelAt);

    // The tooltip's text for `figures`.
    static QString Text(const TunnelStats::Figures& figures);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Shows (or refreshes) the tooltip at the last position; false when no open
    // tunnel is there.
    bool Show();

    QWidget* table_;
    TunnelAt tunnelAt_;
    QTimer refresh_;
    QPoint pos_;
    QPoint globalPos_;
};
