// Replays inputs through a harness's entry function without libFuzzer, so the normal
// build (any compiler) runs every corpus file and every kept regression case as a
// test. Arguments are files or folders; a folder contributes its regular files in
// name order, sub-folders included. A folder that does not exist is skipped (a
// harness may have no regression cases yet); the run fails when nothing at all was
// replayed or a path cannot be read.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
// Optional in a harness: run once before the first input.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) __attribute__((weak));

namespace {

namespace fs = std::filesystem;

bool ReadWhole(const fs::path& path, std::vector<char>* bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Adds `path` (a file, or the files below a folder) to `files`. False when the path
// exists but cannot be listed.
bool Collect(const fs::path& path, std::vector<fs::path>* files)
{
    std::error_code error;
    if (!fs::exists(path, error)) {
        std::printf("%s: not there, nothing replayed from it\n", path.c_str());
        return true;
    }
    if (!fs::is_directory(path, error)) {
        files->push_back(path);
        return true;
    }
    std::vector<fs::path> found;
    for (fs::recursive_directory_iterator it(path, error), end; !error && it != end; it.increment(error)) {
        if (it->is_regular_file(error))
            found.push_back(it->path());
    }
    if (error) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), error.message().c_str());
        return false;
    }
    std::sort(found.begin(), found.end());
    files->insert(files->end(), found.begin(), found.end());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (LLVMFuzzerInitialize != nullptr)
        LLVMFuzzerInitialize(&argc, &argv);
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        if (!Collect(argv[i], &files))
            return 1;
    }
    for (const fs::path& file : files) {
        std::vector<char> bytes;
        if (!ReadWhole(file, &bytes)) {
            std::fprintf(stderr, "%s: cannot be read\n", file.c_str());
            return 1;
        }
        // A heap block of exactly the input's size, so a sanitizer build sees any
        // read past its end, as under libFuzzer.
        std::unique_ptr<uint8_t[]> input(new uint8_t[std::max<size_t>(bytes.size(), 1)]);
        std::copy(bytes.begin(), bytes.end(), input.get());
        std::printf("%s (%zu bytes)\n", file.c_str(), bytes.size());
        std::fflush(stdout);
        LLVMFuzzerTestOneInput(input.get(), bytes.size());
    }
    if (files.empty()) {
        std::fprintf(stderr, "no input replayed\n");
        return 1;
    }
    std::printf("replayed %zu inputs\n", files.size());
    return 0;
}
