#pragma once

#include "mqtt-c/MqttConnection.h"

#include <QString>

class Installation;

// The application: installs the desktop's message boxes and waiting dialogs,
// prepares the drop shadow, runs the main window until it closes, and returns
// false (the process then ends, with ExitCode()).
class Clumetra_uniApp
{
public:
    // The window runs on `installation`, which outlives the application object (and
    // the threads the window starts). With a screenshot path, the window saves an
    // image of itself after its first paint and closes.
    explicit Clumetra_uniApp(Installation& installation, const QString& screenshotPath = QString());

    bool InitInstance();
    // The program's exit status: 0, or 1 when the window could not start.
    int ExitCode() const { return exitCode_; }

private:
    Installation& installation_;
    QString screenshotPath_;
    int exitCode_ = 0;
    // The program's one broker connection. Its thread runs until the process ends
    // (main ends it without destroying the application), so it lives here, beyond
    // the window.
    MqttConnection connection_;
};
