#include "platform/ArchiveReader.h"

namespace platform {

ArchiveReader::ArchiveReader(const QByteArray& bytes) : bytes_(bytes) {}

bool ArchiveReader::Take(size_t count, const char** out)
{
    const size_t size = static_cast<size_t>(bytes_.size());
    if (failed_ || count > size - pos_) {
        failed_ = true;
        return false;
    }
    *out = bytes_.constData() + pos_;
    pos_ += count;
    return true;
}

uint8_t ArchiveReader::ReadUInt8()
{
    const char* p = nullptr;
    if (!Take(1, &p))
        return 0;
    return static_cast<uint8_t>(p[0]);
}

uint16_t ArchiveReader::ReadUInt16()
{
    const char* p = nullptr;
    if (!Take(2, &p))
        return 0;
    return static_cast<uint16_t>(static_cast<uint8_t>(p[0]) | (static_cast<uint8_t>(p[1]) << 8));
}

uint32_t ArchiveReader::ReadUInt32()
{
    // All four bytes are taken at once, so a value cut short yields 0 and not its
    // first half.
    const char* p = nullptr;
    if (!Take(4, &p))
        return 0;
    return static_cast<uint32_t>(static_cast<uint8_t>(p[0])) |
           (static_cast<uint32_t>(static_cast<uint8_t>(p[1])) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(p[2])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(p[3])) << 24);
}

bool ArchiveReader::ReadClassHeader(uint16_t* schema, QByteArray* className)
{
    if (ReadUInt16() != 0xFFFF) {
        failed_ = true;
        return false;
    }
    *schema = ReadUInt16();
    const uint16_t length = ReadUInt16();
    const char* p = nullptr;
    if (!Take(length, &p))
        return false;
    *className = QByteArray(p, length);
    return !failed_;
}

QString ArchiveReader::ReadString()
{
    if (ReadUInt8() != 0xFF || ReadUInt16() != 0xFFFE) {
        failed_ = true;
        return QString();
    }
    uint32_t units = ReadUInt8();
    if (units == 0xFF) {
        units = ReadUInt16();
        if (units == 0xFFFF)
            units = ReadUInt32();
    }
    if (failed_)
        return QString();
    const char* p = nullptr;
    // Check the byte count before multiplying into a size that could overflow.
    if (units > (static_cast<size_t>(bytes_.size()) - pos_) / 2) {
        failed_ = true;
        return QString();
    }
    if (!Take(static_cast<size_t>(units) * 2, &p))
        return QString();
    QString text;
    text.resize(static_cast<qsizetype>(units));
    for (uint32_t i = 0; i < units; ++i) {
        const uint16_t unit =
            static_cast<uint16_t>(static_cast<uint8_t>(p[2 * i]) | (static_cast<uint8_t>(p[2 * i + 1]) << 8));
        text[static_cast<qsizetype>(i)] = QChar(unit);
    }
    return text;
}

int32_t ArchiveReader::ReadInt32()
{
    return static_cast<int32_t>(ReadUInt32());
}

} // namespace platform
