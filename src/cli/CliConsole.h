#pragma once

#include <QString>
#include <string>
#include <vector>

// Output of lumetra-cli: results go to standard output, errors and diagnostics to
// standard error, both as UTF-8 lines. The program's own texts among the messages and
// the report lines are printed in the program's language (UiText::Translate). Every line is flushed at once
// so that the two streams keep their order when they share a terminal.
class CliConsole
{
public:
    static void Out(const QString& line);
    static void Out(const std::string& line);
    // Several lines written and flushed together: a long table costs one flush, not
    // one per line.
    static void Out(const std::vector<QString>& lines);
    // "lumetra-cli: " is not prefixed: texts of the service and of the login view are
    // printed exactly as the window would show them.
    static void Err(const QString& line);
    static void Err(const std::string& line);
    // "lumetra-cli: <message>" on standard error.
    static void Error(const std::string& message);
};
