#pragma once

// The QApplication of a window test: made on first use (offscreen unless the
// environment names another platform) and kept for the rest of the process.
class GuiTestApp
{
public:
    static void Ensure();
};
