#include "FuzzFolder.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

std::string* g_path = nullptr;

void RemoveFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(*g_path, ignored);
}

} // namespace

const std::string& FuzzFolder::Path()
{
    if (g_path == nullptr) {
        // In memory when the system offers it: the harnesses that go through files
        // run a hundred times faster there than on a disk (file replacement syncs).
        const char* chosen = std::getenv("TMPDIR");
        std::string base = chosen != nullptr && *chosen != '\0' ? chosen : "";
        if (base.empty())
            base = access("/dev/shm", W_OK | X_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = base + "/lumetra-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        g_path = new std::string(pattern);
        std::atexit(RemoveFolder);
    }
    return *g_path;
}

std::string FuzzFolder::Write(const std::string& name, const void* data, size_t size)
{
    const std::string path = Path() + "/" + name;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || (size > 0 && std::fwrite(data, 1, size, file) != size)) {
        std::perror(path.c_str());
        std::abort();
    }
    std::fclose(file);
    // The owner's alone, as the program's own files are: a login cache open to
    // others would be refused rather than parsed.
    if (::chmod(path.c_str(), 0600) != 0) {
        std::perror(path.c_str());
        std::abort();
    }
    return path;
}
