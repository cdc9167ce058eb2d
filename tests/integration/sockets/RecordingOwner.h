#pragma once

#include "endpoint/ComWriteOwner.h"
#include "endpoint/LocalListenerOwner.h"
#include "endpoint/RelayDataOwner.h"

#include <QByteArray>

#include <vector>

// Stands in for a tunnel: keeps every chunk a socket hands to it, with the
// new-connection flag of local blocks.
class RecordingOwner : public LocalListenerOwner, public RelayDataOwner, public ComWriteOwner
{
public:
    struct Chunk
    {
        QByteArray bytes;
        int newConnection = -1; // -1 when the chunk did not come as a block
        bool onUiThread = false;
    };

    explicit RecordingOwner(int deviceType = 0) : deviceType_(deviceType) {}

    int ListenerDeviceType() const override { return deviceType_; }
    void SendLocalData(_com_transfer_data* block) override;
    void OnRelayData(const unsigned char* bytes, int count) override;
    void WriteToCom(const unsigned char* bytes, int count) override;

    const std::vector<Chunk>& Chunks() const { return chunks_; }
    QByteArray AllBytes() const;
    size_t ByteCount() const { return byteCount_; }

private:
    void Record(const unsigned char* bytes, int count, int newConnection);

    int deviceType_ = 0;
    std::vector<Chunk> chunks_;
    size_t byteCount_ = 0;
};
