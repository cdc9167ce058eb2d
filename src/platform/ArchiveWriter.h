#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace platform {

// Writes the little-endian object archive format of the login cache: a new-class
// header (FF FF, schema, name length, name), wide strings with the Unicode marker
// FF FE FF and a 1-, 3- or 7-byte length prefix, and 32-bit integers.
class ArchiveWriter
{
public:
    void WriteClassHeader(uint16_t schema, const QByteArray& className);
    void WriteString(const QString& text);
    void WriteInt32(int32_t value);
    const QByteArray& Bytes() const { return bytes_; }

private:
    void WriteUInt16(uint16_t value);
    void WriteUInt32(uint32_t value);
    QByteArray bytes_;
};

} // namespace platform
