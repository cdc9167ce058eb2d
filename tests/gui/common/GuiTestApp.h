#pragma once

#include <QByteArray>
#include <QString>

// The QApplication of a window test: made on first use (offscreen unless the
// environment names another platform) and kept for the rest of the process.
class GuiTestApp
{
public:
    static void Ensure();
    // The bytes of a file (of the demo installation, say); empty when unreadable.
    static QByteArray ReadFile(const QString& path);
};
