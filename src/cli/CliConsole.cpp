#include "CliConsole.h"

#include "app/UiText.h"

#include <cstdio>

namespace {

void WriteLine(std::FILE* stream, const std::string& line)
{
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

} // namespace

void CliConsole::Out(const QString& line)
{
    WriteLine(stdout, line.toStdString());
}

void CliConsole::Out(const std::string& line)
{
    WriteLine(stdout, UiText::Translate(QString::fromStdString(line)).toStdString());
}

void CliConsole::Out(const std::vector<QString>& lines)
{
    std::string block;
    for (const QString& line : lines) {
        block += line.toStdString();
        block += '\n';
    }
    std::fwrite(block.data(), 1, block.size(), stdout);
    std::fflush(stdout);
}

void CliConsole::Err(const QString& line)
{
    WriteLine(stderr, UiText::Translate(line).toStdString());
}

void CliConsole::Err(const std::string& line)
{
    Err(QString::fromStdString(line));
}

void CliConsole::Error(const std::string& message)
{
    WriteLine(stderr, "lumetra-cli: " + message);
}
