#include "VirtualDisplay.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>

VirtualDisplay::~VirtualDisplay()
{
    if (server_.state() != QProcess::NotRunning) {
        server_.terminate();
        if (!server_.waitForFinished(5000)) {
            server_.kill();
            server_.waitForFinished(5000);
        }
    }
}

bool VirtualDisplay::Start(std::string* error)
{
    // Display numbers well above the ones desktops and xvfb-run take, different for
    // each run; Xvfb ends at once when the number is taken, prints it once it accepts
    // clients otherwise.
    const int first = 300 + static_cast<int>(QCoreApplication::applicationPid() % 200);
    for (int number = first; number < first + 20; ++number) {
        if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number))) {
            continue;
        }
        server_.setProcessChannelMode(QProcess::SeparateChannels);
        server_.start("Xvfb", {QStringLiteral(":%1").arg(number), "-displayfd", "1", "-screen", "0",
                               "1280x800x24", "-br", "-noreset", "-nolisten", "tcp"});
        if (!server_.waitForStarted(5000)) {
            *error = "Xvfb: " + server_.errorString().toStdString();
            return false;
        }
        QDeadlineTimer deadline(10000);
        QByteArray printed;
        while (!printed.contains('\n') && !deadline.hasExpired() && server_.state() == QProcess::Running) {
            server_.waitForReadyRead(100);
            printed += server_.readAllStandardOutput();
        }
        if (printed.trimmed().toInt() == number) {
            number_ = number;
            return true;
        }
        *error = "Xvfb :" + std::to_string(number) +
                 " did not start: " + server_.readAllStandardError().toStdString();
        server_.kill();
        server_.waitForFinished(5000);
    }
    return false;
}
