#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One named entry of the installation's custom resource file.
struct _Resource_Info
{
    int32_t value = 0;
    std::string name;
    std::vector<uint8_t> data; // exactly as stored
    int64_t size = 0;          // byte count of data
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    // The data as a text entry: the bytes up to the first zero byte (or all of them
    // when the stored text lacks its terminator).
    std::string Text() const;
};
