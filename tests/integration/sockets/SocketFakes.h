#pragma once

// Stand-in around the sockets under test: a tunnel that records what it is handed.

#include "endpoint/ComTransferData.h"
#include "endpoint/LocalListenerOwner.h"
#include "endpoint/RelayDataOwner.h"
#include "platform/UiThread.h"
#include "platform/WindowMessages.h"
#include "support/LoopbackPeer.h"
#include "support/RecordingWindow.h"

#include <QByteArray>

#include <string>
#include <utility>
#include <vector>

// Keeps every chunk a socket hands on, with the new-connection flag of local blocks
// (-1 for chunks that came without a block).
class RecordingOwner : public LocalListenerOwner, public RelayDataOwner
{
public:
    struct Chunk
    {
        QByteArray bytes;
        int newConnection;
        bool onUiThread;
    };
    explicit RecordingOwner(int deviceType = 0, std::string deviceSn = "DEV")
        : deviceType_(deviceType), deviceSn_(std::move(deviceSn))
    {
    }
    int ListenerDeviceType() const override { return deviceType_; }
    std::string ListenerDeviceSn() const override { return deviceSn_; }
    void SendLocalData(_com_transfer_data* block) override
    {
        Record(block->bytes, static_cast<int>(block->length), block->newConnection);
    }
    void OnRelayData(const unsigned char* bytes, int count) override { Record(bytes, count, -1); }

    std::vector<Chunk> chunks;
    QByteArray all;

private:
    void Record(const unsigned char* bytes, int count, int newConnection)
    {
        chunks.push_back({QByteArray(reinterpret_cast<const char*>(bytes), count), newConnection,
                          platform::UiThread::IsCurrent()});
        all += chunks.back().bytes;
    }
    int deviceType_;
    std::string deviceSn_;
};
