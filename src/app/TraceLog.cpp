#include "app/TraceLog.h"

#include "platform/FreeMemory.h"

#include <QFile>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace {

// One queued entry: the label's length and the data's length (4 bytes each, host
// order), the hex flag (1 byte), the label, the data.
constexpr size_t kHeaderBytes = 9;
// A queue this full wakes the writer before its time.
constexpr size_t kWakeBytes = 256 * 1024;

// "[XX]" for every byte value, upper-case digits.
struct HexGroups
{
    char group[256][4];
};

constexpr HexGroups MakeHexGroups()
{
    constexpr char digits[] = "0123456789ABCDEF";
    HexGroups table{};
    for (int i = 0; i < 256; ++i) {
        table.group[i][0] = '[';
        table.group[i][1] = digits[i >> 4];
        table.group[i][2] = digits[i & 0x0F];
        table.group[i][3] = ']';
    }
    return table;
}

constexpr HexGroups kHexGroups = MakeHexGroups();

uint32_t ReadLength(const char* at)
{
    uint32_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

// Formats one entry into `entry` (replacing what it held).
void Format(std::string& entry, const char* label, uint32_t labelLength, const unsigned char* data,
            uint32_t length, bool hex)
{
    const std::string count = "-" + std::to_string(length) + "-";
    entry.resize(labelLength + count.size() + (hex ? 4u : 1u) * static_cast<size_t>(length) + 2);
    char* out = &entry[0];
    std::memcpy(out, label, labelLength);
    out += labelLength;
    std::memcpy(out, count.data(), count.size());
    out += count.size();
    if (hex) {
        for (uint32_t i = 0; i < length; ++i, out += 4)
            std::memcpy(out, kHexGroups.group[data[i]], 4);
    } else if (length > 0) {
        std::memcpy(out, data, length);
        out += length;
    }
    out[0] = '\r';
    out[1] = '\n';
}

} // namespace

TraceLog::TraceLog(const QString& path, uint64_t limit)
    : path_(path), limit_(std::max<uint64_t>(limit, 1)), file_(QFile::encodeName(path).toStdString())
{
}

TraceLog::~TraceLog()
{
    Close();
}

void TraceLog::SetLimit(uint64_t bytes)
{
    limit_.store(std::max<uint64_t>(bytes, 1), std::memory_order_relaxed);
}

void TraceLog::Write(const unsigned char* data, uint32_t length, const char* label, int hex)
{
    if (!Payloads())
        return;
    // Null data carries nothing to show; record it as an empty entry instead of
    // reading through the null pointer.
    if (data == nullptr)
        length = 0;
    const uint32_t labelLength = label ? static_cast<uint32_t>(std::strlen(label)) : 0;
    const size_t record = kHeaderBytes + labelLength + static_cast<size_t>(length);

    std::lock_guard<std::mutex> guard(lock_);
    if (closed_)
        return;
    const size_t before = queue_.size();
    if (record > kQueueBytes - before) {
        // The writer is behind (a slow disk, a flood of entries): the tunnel does not
        // wait for it. The count is reported when the log closes.
        ++overflowed_;
        if (overflowed_ == 1) {
            std::fprintf(stderr, "trace log %s: more than %zu bytes wait for the file; entries dropped\n",
                         QFile::encodeName(path_).constData(), kQueueBytes);
        }
        return;
    }
    const char flag = hex ? 1 : 0;
    queue_.append(reinterpret_cast<const char*>(&labelLength), sizeof labelLength);
    queue_.append(reinterpret_cast<const char*>(&length), sizeof length);
    queue_.append(&flag, 1);
    if (labelLength > 0)
        queue_.append(label, labelLength);
    if (length > 0)
        queue_.append(reinterpret_cast<const char*>(data), length);
    ++handed_;
    if (!writer_.joinable()) {
        try {
            writer_ = std::thread(&TraceLog::Run, this);
        } catch (const std::system_error& error) {
            std::fprintf(stderr, "trace log %s: %s; entries dropped from now on\n",
                         QFile::encodeName(path_).constData(), error.what());
            closed_ = true;
            queue_.clear();
            written_ = handed_;
            return;
        }
    }
    // The writer sleeps until the first entry arrives, then gathers entries for up to
    // kFlushMs unless the queue fills up first.
    if (before == 0 || (before < kWakeBytes && queue_.size() >= kWakeBytes))
        wake_.notify_one();
}

bool TraceLog::Flush(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(lock_);
    const uint64_t target = handed_;
    if (written_ >= target)
        return true;
    wanted_ = std::max(wanted_, target);
    wake_.notify_one();
    return done_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return written_ >= target; });
}

void TraceLog::Close()
{
    std::thread writer;
    {
        std::lock_guard<std::mutex> guard(lock_);
        closed_ = true;
        writer.swap(writer_);
        wake_.notify_one();
    }
    // The writer writes what is queued before it ends.
    if (writer.joinable())
        writer.join();
    std::lock_guard<std::mutex> guard(lock_);
    if (overflowed_ > 0) {
        std::fprintf(stderr, "trace log %s: entries dropped while the writer was behind: %llu\n",
                     QFile::encodeName(path_).constData(), static_cast<unsigned long long>(overflowed_));
        overflowed_ = 0;
    }
}

void TraceLog::Run()
{
    std::string batch;
    std::string entry;
    std::unique_lock<std::mutex> lock(lock_);
    // Set while the buffers are larger than an idle log keeps.
    bool burst = false;
    const auto pending = [this] { return closed_ || !queue_.empty(); };
    for (;;) {
        if (!burst) {
            wake_.wait(lock, pending);
        } else if (!wake_.wait_for(lock, std::chrono::milliseconds(kIdleMs), pending)) {
            // A burst is over: its buffers go, so that the process's resident size
            // comes back down instead of keeping the queue's peak for good.
            burst = false;
            std::string().swap(batch);
            std::string().swap(queue_);
            lock.unlock();
            platform::ReturnFreeMemory();
            lock.lock();
            continue;
        }
        if (queue_.empty())
            break; // closed, and everything is written
        if (!closed_ && wanted_ <= written_ && queue_.size() < kWakeBytes) {
            wake_.wait_for(lock, std::chrono::milliseconds(kFlushMs),
                           [this] { return closed_ || wanted_ > written_ || queue_.size() >= kWakeBytes; });
        }
        batch.swap(queue_);
        const uint64_t through = handed_;
        lock.unlock();
        WriteBatch(batch, entry);
        batch.clear();
        lock.lock();
        written_ = through;
        done_.notify_all();
        burst = burst || std::max(batch.capacity(), queue_.capacity()) > kIdleBufferBytes;
    }
    lock.unlock();
    file_.Close();
}

void TraceLog::WriteBatch(const std::string& batch, std::string& entry)
{
    const uint64_t limit = Limit();
    file_.Begin();
    for (size_t at = 0; at + kHeaderBytes <= batch.size();) {
        const uint32_t labelLength = ReadLength(&batch[at]);
        const uint32_t length = ReadLength(&batch[at + 4]);
        const bool hex = batch[at + 8] != 0;
        const char* label = &batch[at + kHeaderBytes];
        const unsigned char* data = reinterpret_cast<const unsigned char*>(label + labelLength);
        Format(entry, label, labelLength, data, length, hex);
        file_.Append(entry.data(), entry.size(), limit);
        at += kHeaderBytes + labelLength + length;
    }
    file_.End();
}
