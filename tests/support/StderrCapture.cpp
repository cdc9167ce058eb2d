#include "support/StderrCapture.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

StderrCapture::StderrCapture()
{
    std::fflush(stderr);
    char name[] = "/tmp/lumetra-stderr-XXXXXX";
    file_ = mkstemp(name);
    if (file_ < 0)
        return;
    unlink(name);
    saved_ = dup(STDERR_FILENO);
    dup2(file_, STDERR_FILENO);
}

StderrCapture::~StderrCapture()
{
    std::fflush(stderr);
    if (saved_ >= 0) {
        dup2(saved_, STDERR_FILENO);
        close(saved_);
    }
    if (file_ >= 0)
        close(file_);
}

std::string StderrCapture::Text() const
{
    std::fflush(stderr);
    std::string text;
    if (file_ < 0)
        return text;
    char buffer[4096];
    for (off_t offset = 0;;) {
        const ssize_t got = pread(file_, buffer, sizeof(buffer), offset);
        if (got <= 0)
            break;
        text.append(buffer, static_cast<size_t>(got));
        offset += got;
    }
    return text;
}

size_t StderrCapture::CountLines(const std::string& prefix) const
{
    const std::string text = Text();
    size_t count = 0;
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find('\n', start);
        if (text.compare(start, prefix.size(), prefix) == 0)
            ++count;
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return count;
}
