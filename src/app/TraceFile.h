#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The file side of the trace log, used by the log's writer thread alone. It keeps
// `path` open and writes whole entries through a buffer, one batch at a time
// (Begin, Append..., End). Before an entry would take the file over its size limit,
// the file becomes `path`.1 (replacing the old one) and a new file is started.
//
// Both files follow the private-file rules (app/PrivateFile): created 0600, a mode
// found wider tightened through the descriptor, and a link or a file with a second
// hard link in the log's place never written. The open file is checked against its
// name at the start of every batch, so a name swapped meanwhile is refused as a
// fresh open would refuse it.
//
// A file that cannot be opened or written drops the entries of the batch (a write
// that fails half-way is cut back to the last whole entry) and is tried again with
// the next batch. One line on standard error says so when a streak of failures
// begins; the first batch written whole ends the streak.
class TraceFile
{
public:
    explicit TraceFile(std::string path) : path_(std::move(path)) {}
    ~TraceFile() { Close(); }

    TraceFile(const TraceFile&) = delete;
    TraceFile& operator=(const TraceFile&) = delete;

    // Starts a batch: checks the open file against its name and its mode.
    void Begin();
    // Adds one whole entry of `size` bytes; `limit` is the file's cap in bytes.
    void Append(const char* entry, size_t size, uint64_t limit);
    // Ends the batch: everything appended is in the file (or dropped).
    void End();
    void Close();

private:
    bool Open();
    bool WriteOut();
    void Rotate();
    void Fail(int error);

    const std::string path_;
    int fd_ = -1;
    uint64_t size_ = 0;    // bytes in the open file
    std::string out_;      // entries appended but not yet written
    bool tried_ = false;   // an open was attempted in this batch
    bool failing_ = false; // a failure was reported and no batch has been written since
};
