#include "TunnelStatsPrinter.h"

#include "CliConsole.h"
#include "tunnel/CDataTunnel.h"
#include "tunnel/TunnelStats.h"

#include <QString>

#include <utility>

void TunnelStatsPrinter::Start(Tunnels tunnels)
{
    tunnels_ = std::move(tunnels);
    if (timer_.isActive()) {
        return;
    }
    QObject::connect(&timer_, &QTimer::timeout, [this] { Print(); });
    timer_.start(kPeriodMs);
}

void TunnelStatsPrinter::Stop()
{
    timer_.stop();
    QObject::disconnect(&timer_, nullptr, nullptr, nullptr);
}

void TunnelStatsPrinter::Print()
{
    if (!tunnels_) {
        return;
    }
    std::vector<QString> lines;
    for (const CDataTunnel* tunnel : tunnels_()) {
        if (tunnel != nullptr) {
            lines.push_back(
                QString::fromStdString(TunnelStats::Line(tunnel->DeviceSn(), tunnel->Stats().Read())));
        }
    }
    if (!lines.empty()) {
        CliConsole::Out(lines);
    }
}
