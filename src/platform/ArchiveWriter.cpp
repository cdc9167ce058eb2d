#include "platform/ArchiveWriter.h"

namespace platform {

void ArchiveWriter::WriteUInt16(uint16_t value)
{
    bytes_.append(static_cast<char>(value & 0xFF));
    bytes_.append(static_cast<char>(value >> 8));
}

void ArchiveWriter::WriteUInt32(uint32_t value)
{
    WriteUInt16(static_cast<uint16_t>(value & 0xFFFF));
    WriteUInt16(static_cast<uint16_t>(value >> 16));
}

void ArchiveWriter::WriteClassHeader(uint16_t schema, const QByteArray& className)
{
    WriteUInt16(0xFFFF); // new-class tag
    WriteUInt16(schema);
    WriteUInt16(static_cast<uint16_t>(className.size()));
    bytes_.append(className);
}

void ArchiveWriter::WriteString(const QString& text)
{
    // Unicode marker: the byte FF, then the 16-bit value FFFE.
    bytes_.append(static_cast<char>(0xFF));
    WriteUInt16(0xFFFE);
    const uint32_t units = static_cast<uint32_t>(text.size());
    if (units < 0xFF) {
        bytes_.append(static_cast<char>(units));
    } else if (units < 0xFFFE) {
        bytes_.append(static_cast<char>(0xFF));
        WriteUInt16(static_cast<uint16_t>(units));
    } else {
        bytes_.append(static_cast<char>(0xFF));
        WriteUInt16(0xFFFF);
        WriteUInt32(units);
    }
    for (QChar c : text)
        WriteUInt16(c.unicode());
}

void ArchiveWriter::WriteInt32(int32_t value)
{
    WriteUInt32(static_cast<uint32_t>(value));
}

} // namespace platform
