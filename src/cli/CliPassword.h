#pragma once

#include <cstddef>
#include <string>

// Ways of giving lumetra-cli a password that keep it out of the process list: a
// prompt without echo on the terminal, or one line of standard input. A password on
// the command line still works but is announced as visible to other users.
class CliPassword
{
public:
    // The longest password read from standard input or the prompt, in bytes.
    static constexpr size_t kMaxLength = 1024;

    // The one-line warning on standard error for a password given on the command line.
    static void WarnCommandLine();

    // Whether standard input is a terminal, so that a prompt can be answered.
    static bool CanPrompt();

    // One line of standard input without its line end ("\n" or "\r\n"); an empty
    // input gives an empty password. False, with the reason on standard error, when
    // the line is longer than kMaxLength bytes or cannot be read.
    static bool FromStandardInput(std::string* password);

    // Shows "Password for <user>: " on the terminal (not on standard output) and
    // reads one line from standard input with echo off. The terminal's settings are
    // restored afterwards, also when SIGINT, SIGTERM, SIGHUP or SIGQUIT ends the
    // program meanwhile (the signal then takes its usual course). False, with the
    // reason on standard error, when the line is too long or the terminal fails.
    static bool Prompt(const std::string& user, std::string* password);
};
