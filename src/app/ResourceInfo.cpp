#include "app/ResourceInfo.h"

#include <algorithm>

std::string _Resource_Info::Text() const
{
    // Text entries carry their terminator inside the data; stop at the first zero so
    // the text is the same one a reader of the zero-terminated data would see.
    const auto end = std::find(data.begin(), data.end(), static_cast<uint8_t>(0));
    return std::string(data.begin(), end);
}
