#pragma once

#include "app/TraceFile.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

// The installation's trace log, <program folder>/logtrace. Each entry is the label
// (when not null or empty), "-<length>-", the data raw or, when `hex` is non-zero,
// each byte as "[XX]", then CR LF.
//
// Writers on any thread hand their entry to one writer thread and go on: Write
// copies the bytes into a queue of at most kQueueBytes and never waits for the file.
// The writer keeps the file open and writes the entries whole and in the order they
// were handed over, at the latest kFlushMs after an entry arrived, and everything
// still queued when the log is closed (Close, or its destruction). The file is
// capped at Limit() bytes: before an entry would take it over, it becomes
// logtrace.1 (one old file kept) and a new file starts (app/TraceFile).
//
// Nothing here slows a tunnel down: a full disk or a file that cannot be opened
// drops entries, and one line on standard error says so (app/TraceFile); a full
// queue drops them too, with one line at the first and their count at Close.
//
// Every entry today carries tunnel bytes (received port-forward chunks, the encoded
// serial data messages); SetPayloads(false) switches them all off.
class TraceLog
{
public:
    static constexpr uint64_t kDefaultLimit = 64ull * 1024 * 1024;
    // Bytes waiting for the writer (data, label and a small header per entry).
    static constexpr size_t kQueueBytes = 4 * 1024 * 1024;
    // Longest time an entry waits before it is written.
    static constexpr int kFlushMs = 100;
    // Queue memory kept while the log is idle; a burst's larger buffers are freed
    // and handed back to the system once no entry came for kIdleMs.
    static constexpr size_t kIdleBufferBytes = 256 * 1024;
    static constexpr int kIdleMs = 1000;

    explicit TraceLog(const QString& path, uint64_t limit = kDefaultLimit);
    ~TraceLog();

    TraceLog(const TraceLog&) = delete;
    TraceLog& operator=(const TraceLog&) = delete;

    void Write(const unsigned char* data, uint32_t length, const char* label, int hex);

    // Waits (at most `timeoutMs`) until every entry handed over before the call is in
    // the file or dropped; false when the time ran out.
    bool Flush(int timeoutMs = 5000);
    // Writes what is queued and ends the writer; later entries are dropped. Called
    // by the destructor; the window calls it before it ends the process without
    // destroying anything.
    void Close();

    // The cap of the file in bytes (at least 1); takes effect with the next entry.
    void SetLimit(uint64_t bytes);
    uint64_t Limit() const { return limit_.load(std::memory_order_relaxed); }
    // Whether entries that carry tunnel bytes are written (on by default).
    void SetPayloads(bool on) { payloads_.store(on, std::memory_order_relaxed); }
    bool Payloads() const { return payloads_.load(std::memory_order_relaxed); }

    const QString& Path() const { return path_; }

private:
    void Run();
    void WriteBatch(const std::string& batch, std::string& entry);

    const QString path_;
    std::atomic<uint64_t> limit_;
    std::atomic<bool> payloads_{true};
    TraceFile file_; // the writer thread's alone

    std::mutex lock_;
    std::condition_variable wake_; // the writer: entries, a flush or the end
    std::condition_variable done_; // Flush: entries written
    std::string queue_;            // entries in the queue's own layout (TraceLog.cpp)
    uint64_t handed_ = 0;          // entries queued since the start
    uint64_t written_ = 0;         // of those, the ones the writer is through with
    uint64_t wanted_ = 0;          // Flush waits for written_ to reach this
    uint64_t overflowed_ = 0;      // entries the full queue dropped (reported at the first and at Close)
    bool closed_ = false;
    std::thread writer_; // started with the first entry
};
