// A stand-in for the OpenVPN client program, for tests about starting and ending the
// client rather than about the VPN: installed as "openvpn" first on PATH (its kernel
// name is then "openvpn"), it behaves as the environment tells it.
//
// - STAND_IN_RECORD: once its SIGTERM handling is in place it writes its process id,
//   its arguments and its working folder, one a line, to this file (whole, through a
//   rename), so the file's presence says it is ready.
// - STAND_IN_MARKER: on SIGTERM it appends "TERM <pid>\n" to this file.
// - STAND_IN_ON_TERM: "stay" keeps it running after SIGTERM (only SIGKILL ends it);
//   anything else makes it exit with status 0 after writing the marker.
// It ends by itself after kLifetimeSeconds at the latest, so none lingers.

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

namespace {

constexpr unsigned kLifetimeSeconds = 300;

char g_marker[PATH_MAX];
char g_markerLine[64];
size_t g_markerLineLength = 0;
bool g_stay = false;

void OnTerm(int)
{
    const int saved = errno;
    if (g_marker[0] != '\0') {
        const int fd = open(g_marker, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        if (fd >= 0) {
            (void)!write(fd, g_markerLine, g_markerLineLength);
            close(fd);
        }
    }
    if (!g_stay)
        _exit(0);
    errno = saved;
}

bool WriteWhole(const std::string& path, const std::string& text)
{
    const std::string temporary = path + ".part";
    FILE* file = std::fopen(temporary.c_str(), "w");
    if (file == nullptr)
        return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written && std::rename(temporary.c_str(), path.c_str()) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    alarm(kLifetimeSeconds);
    const char* marker = std::getenv("STAND_IN_MARKER");
    if (marker != nullptr && std::strlen(marker) < sizeof g_marker)
        std::strcpy(g_marker, marker);
    g_markerLineLength = static_cast<size_t>(
        std::snprintf(g_markerLine, sizeof g_markerLine, "TERM %ld\n", static_cast<long>(getpid())));
    const char* onTerm = std::getenv("STAND_IN_ON_TERM");
    g_stay = onTerm != nullptr && std::strcmp(onTerm, "stay") == 0;

    struct sigaction action = {};
    action.sa_handler = OnTerm;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);

    if (const char* record = std::getenv("STAND_IN_RECORD")) {
        std::string text = std::to_string(getpid()) + "\n";
        for (int i = 1; i < argc; ++i)
            text += std::string(argv[i]) + "\n";
        char folder[PATH_MAX];
        text += std::string(getcwd(folder, sizeof folder) != nullptr ? folder : "?") + "\n";
        if (!WriteWhole(record, text))
            return 3;
    }
    for (;;)
        pause();
}
