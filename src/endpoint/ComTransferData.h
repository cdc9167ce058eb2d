#pragma once

#include <cstdint>

// One block of tunnel data, handed from a local endpoint to its tunnel. The bytes
// belong to whoever built the block and stay valid only for the call that receives
// it; a receiver that needs them later copies them.
struct _com_transfer_data
{
    uint32_t seq = 0;               // block sequence number ("pt_sn")
    unsigned char* bytes = nullptr; // the data
    uint32_t length = 0;            // byte count
    uint32_t sendCount = 0;         // raised by one after each publish of the block
    int32_t newConnection = 0;      // 1 for the first block of a newly accepted local connection ("sock_new")
};
