#pragma once

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

// Runs the calling thread's event loop until `done()` holds or `timeoutMs` passed,
// checking `done()` after every few milliseconds of event handling. For tests whose
// main thread is the UI thread and must keep handling messages while it waits.
// Returns the final value of `done()`.
template <typename Predicate> bool PumpUntil(Predicate done, int timeoutMs = 10000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return done();
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}
