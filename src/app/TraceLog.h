#pragma once

#include <QString>

#include <cstdint>
#include <mutex>

// The installation's trace log, <program folder>/logtrace. Each entry is the label
// (when not null or empty), "-<length>-", the data raw or, when `hex` is non-zero,
// each byte as "[XX]", then CR LF. Writers on any thread are serialised by the
// log's lock, held from opening to closing the file. A file that cannot be opened
// drops the entry.
class TraceLog
{
public:
    explicit TraceLog(const QString& path) : path_(path) {}

    TraceLog(const TraceLog&) = delete;
    TraceLog& operator=(const TraceLog&) = delete;

    void Write(const unsigned char* data, uint32_t length, const char* label, int hex);

    const QString& Path() const { return path_; }

private:
    const QString path_;
    std::recursive_mutex lock_;
};
