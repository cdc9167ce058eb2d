#include "app/CustomResourceTable.h"

#include <utility>

namespace {

// Fixed part of an entry: 4 bytes skipped, 4 bytes N, then (after the name) value,
// left, top, right, bottom and the 8-byte data length.
constexpr size_t kHeadBytes = 8;
constexpr size_t kTailBytes = 28;

uint32_t ReadLe32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

uint64_t ReadLe64(const uint8_t* p)
{
    return static_cast<uint64_t>(ReadLe32(p)) | (static_cast<uint64_t>(ReadLe32(p + 4)) << 32);
}

void AppendLe32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void AppendLe64(std::vector<uint8_t>& out, uint64_t v)
{
    AppendLe32(out, static_cast<uint32_t>(v & 0xFFFFFFFFu));
    AppendLe32(out, static_cast<uint32_t>(v >> 32));
}

std::string Describe(size_t index, size_t offset, const std::string& why)
{
    return "entry " + std::to_string(index) + " at offset " + std::to_string(offset) + ": " + why;
}

} // namespace

bool ParseCustomResources(const uint8_t* bytes, size_t length,
                          std::vector<std::unique_ptr<_Resource_Info>>& out, std::string* error)
{
    if (bytes == nullptr)
        length = 0;
    size_t pos = 0;
    size_t index = 0;
    while (pos < length) {
        const size_t left = length - pos;
        const uint8_t* p = bytes + pos;
        std::string why;
        if (left < kHeadBytes) {
            why = "header needs 8 bytes, " + std::to_string(left) + " left";
        } else {
            const uint32_t nameLength = ReadLe32(p + 4);
            if (nameLength > left - kHeadBytes) {
                why = "name length " + std::to_string(nameLength) + " exceeds the " +
                      std::to_string(left - kHeadBytes) + " bytes left";
            } else if (left - kHeadBytes - nameLength < kTailBytes) {
                why = "fields after the name need 28 bytes, " +
                      std::to_string(left - kHeadBytes - nameLength) + " left";
            } else {
                const uint8_t* fields = p + kHeadBytes + nameLength;
                const uint64_t dataLength = ReadLe64(fields + 20);
                const size_t dataLeft = left - kHeadBytes - nameLength - kTailBytes;
                // Compare in 64 bits before any addition, so a huge length cannot wrap.
                if (dataLength > static_cast<uint64_t>(dataLeft)) {
                    why = "data length " + std::to_string(dataLength) + " exceeds the " +
                          std::to_string(dataLeft) + " bytes left";
                } else {
                    auto entry = std::make_unique<_Resource_Info>();
                    entry->name.assign(reinterpret_cast<const char*>(p + kHeadBytes), nameLength);
                    entry->value = static_cast<int32_t>(ReadLe32(fields));
                    entry->left = static_cast<int32_t>(ReadLe32(fields + 4));
                    entry->top = static_cast<int32_t>(ReadLe32(fields + 8));
                    entry->right = static_cast<int32_t>(ReadLe32(fields + 12));
                    entry->bottom = static_cast<int32_t>(ReadLe32(fields + 16));
                    const uint8_t* data = fields + kTailBytes;
                    entry->data.assign(data, data + static_cast<size_t>(dataLength));
                    entry->size = static_cast<int64_t>(dataLength);
                    out.push_back(std::move(entry));
                    pos += kHeadBytes + nameLength + kTailBytes + static_cast<size_t>(dataLength);
                    ++index;
                    continue;
                }
            }
        }
        if (error)
            *error = Describe(index, pos, why);
        return false;
    }
    if (error)
        error->clear();
    return true;
}

std::vector<uint8_t> SerializeResourceEntry(const _Resource_Info& entry)
{
    std::vector<uint8_t> out;
    out.reserve(kHeadBytes + entry.name.size() + kTailBytes + entry.data.size());
    AppendLe32(out, 0);
    AppendLe32(out, static_cast<uint32_t>(entry.name.size()));
    out.insert(out.end(), entry.name.begin(), entry.name.end());
    AppendLe32(out, static_cast<uint32_t>(entry.value));
    AppendLe32(out, static_cast<uint32_t>(entry.left));
    AppendLe32(out, static_cast<uint32_t>(entry.top));
    AppendLe32(out, static_cast<uint32_t>(entry.right));
    AppendLe32(out, static_cast<uint32_t>(entry.bottom));
    AppendLe64(out, static_cast<uint64_t>(entry.data.size()));
    out.insert(out.end(), entry.data.begin(), entry.data.end());
    return out;
}
