#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// Runs a program to its end and captures what it printed, for tests of command-line
// programs. A program still running at the time-out is killed.
class ProgramRun
{
public:
    struct Result
    {
        bool started = false;  // false: the program could not be run at all
        bool timedOut = false; // killed at the time-out
        bool crashed = false;  // ended by a signal
        int exitCode = -1;
        QString out;      // standard output (UTF-8)
        QByteArray bytes; // standard output as it came
        QString err;      // standard error (UTF-8)
    };

    static Result Run(const QString& program, const QStringList& arguments, int timeoutMs = 30000,
                      const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());
    // The same with `input` on the program's standard input, which then ends.
    static Result
    RunWithInput(const QString& program, const QStringList& arguments, const QByteArray& input,
                 int timeoutMs = 30000,
                 const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

    // The path of a program built by this project (build/bin/<name>).
    static QString BuiltProgram(const QString& name);

    // Makes sure a Qt core application object exists (QProcess and sockets need one
    // for their notifications); GUI tests create their own first.
    static void EnsureApplication();
};
