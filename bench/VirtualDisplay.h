#pragma once

#include <QProcess>
#include <QString>

#include <string>

// An X server of its own (Xvfb, black root window, no TCP, no reset when its last
// client leaves, which would refuse the next one for a moment) for the start-up
// benchmark, on a display number nobody uses. Ended with the object.
class VirtualDisplay
{
public:
    VirtualDisplay() = default;
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    // Starts the server and waits (at most 10 s) until it accepts clients; false
    // with the reason in `error`.
    bool Start(std::string* error);
    // ":<number>", for DISPLAY.
    QString Name() const { return QStringLiteral(":%1").arg(number_); }

private:
    QProcess server_;
    int number_ = -1;
};
