#include "RecordingOwner.h"

#include "endpoint/ComTransferData.h"
#include "platform/UiThread.h"

void RecordingOwner::SendLocalData(_com_transfer_data* block)
{
    Record(block->bytes, static_cast<int>(block->length), block->newConnection);
}

void RecordingOwner::OnRelayData(const unsigned char* bytes, int count)
{
    Record(bytes, count, -1);
}

void RecordingOwner::WriteToCom(const unsigned char* bytes, int count)
{
    Record(bytes, count, -1);
}

void RecordingOwner::Record(const unsigned char* bytes, int count, int newConnection)
{
    Chunk chunk;
    chunk.bytes = QByteArray(reinterpret_cast<const char*>(bytes), count);
    chunk.newConnection = newConnection;
    chunk.onUiThread = UiThread::IsCurrent();
    chunks_.push_back(chunk);
    byteCount_ += static_cast<size_t>(count);
}

QByteArray RecordingOwner::AllBytes() const
{
    QByteArray all;
    for (const Chunk& chunk : chunks_) {
        all += chunk.bytes;
    }
    return all;
}
