#pragma once

#include <cstddef>
#include <list>

class CNodeDevice;
class CNodeGateway;

// The port start routine's queue: a record (gateway, device, 0) is queued each time a
// serial tunnel's port is ready. Nothing takes records out of it; they go with the
// queue. Owned by whoever starts ports (the gateway detail controller); UI thread only.
class PortStartQueue
{
public:
    struct Record
    {
        CNodeGateway* gateway = nullptr;
        CNodeDevice* device = nullptr;
        void* reserved = nullptr;
    };

    void Queue(CNodeGateway* gateway, CNodeDevice* device)
    {
        records_.push_back(Record{gateway, device, nullptr});
    }
    size_t Length() const { return records_.size(); }

private:
    std::list<Record> records_;
};
