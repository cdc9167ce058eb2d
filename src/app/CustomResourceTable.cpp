#include "app/CustomResourceTable.h"

#include "app/ProgramFolder.h"
#include "platform/BoundedFile.h"

#include <QFile>
#include <cstdio>
#include <cstring>

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

// The table lives until the process ends and is never destroyed: threads may still
// read it while the process exits. (Held through a pointer so the entries stay
// reachable to leak checkers.)
std::vector<_Resource_Info*>& Table()
{
    static auto* table = new std::vector<_Resource_Info*>;
    return *table;
}

// Entries of a table that a later load replaced. They stay allocated so that a
// pointer handed out by an earlier look-up never dangles; entries are never freed.
std::vector<_Resource_Info*>& Retired()
{
    static auto* retired = new std::vector<_Resource_Info*>;
    return *retired;
}

std::string Describe(size_t index, size_t offset, const std::string& why)
{
    return "entry " + std::to_string(index) + " at offset " + std::to_string(offset) + ": " + why;
}

} // namespace

bool ParseCustomResources(const uint8_t* bytes, size_t length, std::vector<_Resource_Info*>& out,
                          std::string* error)
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
                    auto* entry = new _Resource_Info;
                    entry->name.assign(reinterpret_cast<const char*>(p + kHeadBytes), nameLength);
                    entry->value = static_cast<int32_t>(ReadLe32(fields));
                    entry->left = static_cast<int32_t>(ReadLe32(fields + 4));
                    entry->top = static_cast<int32_t>(ReadLe32(fields + 8));
                    entry->right = static_cast<int32_t>(ReadLe32(fields + 12));
                    entry->bottom = static_cast<int32_t>(ReadLe32(fields + 16));
                    const uint8_t* data = fields + kTailBytes;
                    entry->data.assign(data, data + static_cast<size_t>(dataLength));
                    entry->size = static_cast<int64_t>(dataLength);
                    out.push_back(entry);
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

void LoadCustomResources()
{
    LoadCustomResourcesFrom(CustomResourcePath());
}

void LoadCustomResourcesFrom(const QString& path)
{
    // A second load replaces the table (tests and tools reload); the earlier entries
    // are retired, not freed, so pointers from earlier look-ups stay valid.
    std::vector<_Resource_Info*>& table = Table();
    Retired().insert(Retired().end(), table.begin(), table.end());
    table.clear();

    const QByteArray where = QFile::encodeName(path);
    QByteArray image;
    std::string why;
    switch (BoundedFile::Read(path, kCustomResourceFileLimit, &image, &why)) {
    case BoundedFile::Result::Read:
        break;
    case BoundedFile::Result::Missing:
        std::fprintf(stderr, "custom resource file %s not found; no custom resources\n", where.constData());
        return;
    case BoundedFile::Result::TooLarge:
        std::fprintf(stderr, "custom resource file %s is damaged: %s; kept the 0 entries before it\n",
                     where.constData(), why.c_str());
        return;
    case BoundedFile::Result::Failed:
        std::fprintf(stderr, "custom resource file %s cannot be read: %s\n", where.constData(), why.c_str());
        return;
    }
    std::string error;
    if (!ParseCustomResources(reinterpret_cast<const uint8_t*>(image.constData()),
                              static_cast<size_t>(image.size()), table, &error)) {
        std::fprintf(stderr, "custom resource file %s is damaged: %s; kept the %zu entries before it\n",
                     where.constData(), error.c_str(), table.size());
    }
}

const _Resource_Info* FindCustomResource(const char* name)
{
    if (name == nullptr)
        return nullptr;
    for (const _Resource_Info* entry : Table()) {
        if (std::strcmp(entry->name.c_str(), name) == 0)
            return entry;
    }
    return nullptr;
}

std::string CustomResourceText(const char* name, const std::string& fallback)
{
    const _Resource_Info* entry = FindCustomResource(name);
    return entry ? entry->Text() : fallback;
}

const std::vector<_Resource_Info*>& CustomResourceTable()
{
    return Table();
}
