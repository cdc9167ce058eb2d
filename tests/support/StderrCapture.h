#pragma once

#include <string>

// Sends this process's standard error (file descriptor 2) into a temporary file
// while the object lives, so a test can read what the program under test reported
// while it is still running; restored when the object goes.
class StderrCapture
{
public:
    StderrCapture();
    ~StderrCapture();
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    // Everything written so far.
    std::string Text() const;
    // How many lines written so far start with `prefix`.
    size_t CountLines(const std::string& prefix) const;

private:
    int saved_ = -1;
    int file_ = -1;
};
