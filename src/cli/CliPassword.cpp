#include "CliPassword.h"

#include "CliConsole.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// What a signal handler needs to give the terminal its echo back.
volatile sig_atomic_t g_restoreOnSignal = 0;
struct termios g_savedTerminal;
int g_promptFd = -1;

constexpr int kRestoringSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

extern "C" void RestoreTerminalAndRaise(int signal)
{
    if (g_restoreOnSignal != 0) {
        tcsetattr(STDIN_FILENO, TCSANOW, &g_savedTerminal);
        const ssize_t ignored = write(g_promptFd, "\n", 1);
        (void)ignored;
    }
    // The handler was installed with SA_RESETHAND: the signal raised again waits
    // until this handler returns and then takes its default course.
    raise(signal);
}

// Reads up to and without the next "\n" (or to the end of input), at most
// kMaxLength bytes. One byte at a time, so nothing after the line is taken from a
// pipe that carries more. False when reading fails; `tooLong` when the line does
// not fit.
bool ReadLine(int fd, std::string* line, bool* tooLong)
{
    line->clear();
    *tooLong = false;
    for (;;) {
        char c = 0;
        const ssize_t n = read(fd, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0 || c == '\n')
            break;
        if (line->size() == CliPassword::kMaxLength) {
            *tooLong = true;
            return true;
        }
        line->push_back(c);
    }
    if (!line->empty() && line->back() == '\r')
        line->pop_back();
    return true;
}

bool CheckedLine(bool read, bool tooLong, const char* where, std::string* password)
{
    if (!read) {
        CliConsole::Error(std::string("cannot read the password from ") + where + ": " +
                          std::strerror(errno));
    } else if (tooLong) {
        CliConsole::Error(std::string("the password from ") + where + " is longer than " +
                          std::to_string(CliPassword::kMaxLength) + " bytes");
    } else {
        return true;
    }
    password->clear();
    return false;
}

} // namespace

void CliPassword::WarnCommandLine()
{
    CliConsole::Error("warning: a password on the command line is visible to other users of this machine "
                      "(in the process list); use --password-stdin or the prompt instead");
}

bool CliPassword::CanPrompt()
{
    return isatty(STDIN_FILENO) == 1;
}

bool CliPassword::FromStandardInput(std::string* password)
{
    bool tooLong = false;
    const bool read = ReadLine(STDIN_FILENO, password, &tooLong);
    return CheckedLine(read, tooLong, "standard input", password);
}

bool CliPassword::Prompt(const std::string& user, std::string* password)
{
    struct termios saved;
    if (tcgetattr(STDIN_FILENO, &saved) != 0) {
        CliConsole::Error(std::string("cannot prompt for the password: ") + std::strerror(errno));
        return false;
    }
    // The prompt goes to the terminal itself, so it shows even when standard error
    // is redirected and never mixes with the results on standard output.
    const int tty = open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
    g_promptFd = tty >= 0 ? tty : STDERR_FILENO;
    g_savedTerminal = saved;

    struct sigaction restore;
    std::memset(&restore, 0, sizeof restore);
    restore.sa_handler = RestoreTerminalAndRaise;
    restore.sa_flags = SA_RESETHAND;
    sigemptyset(&restore.sa_mask);
    struct sigaction previous[sizeof kRestoringSignals / sizeof kRestoringSignals[0]];
    for (size_t i = 0; i < sizeof kRestoringSignals / sizeof kRestoringSignals[0]; ++i)
        sigaction(kRestoringSignals[i], &restore, &previous[i]);
    g_restoreOnSignal = 1;

    // Echo off before the prompt appears, so nothing typed in answer is shown;
    // TCSAFLUSH drops what was typed ahead (and echoed) before the prompt.
    struct termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    bool read = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
    bool tooLong = false;
    if (read) {
        const std::string prompt = "Password for " + user + ": ";
        const ssize_t shown = write(g_promptFd, prompt.data(), prompt.size());
        (void)shown;
        read = ReadLine(STDIN_FILENO, password, &tooLong);
    }
    const int readError = errno;

    // The rest of an over-long line is dropped with the settings restored, so the
    // shell never runs it as a command.
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    g_restoreOnSignal = 0;
    const ssize_t ended = write(g_promptFd, "\n", 1);
    (void)ended;
    for (size_t i = 0; i < sizeof kRestoringSignals / sizeof kRestoringSignals[0]; ++i)
        sigaction(kRestoringSignals[i], &previous[i], nullptr);
    if (tty >= 0)
        close(tty);
    g_promptFd = -1;
    errno = readError;
    return CheckedLine(read, tooLong, "the terminal", password);
}
