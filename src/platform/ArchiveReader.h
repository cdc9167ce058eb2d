#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace platform {

// Reads what ArchiveWriter writes. Every read checks the bounds of the buffer: a
// read past the end, or a byte sequence that is not what the format allows, sets
// the failed flag and returns an empty value; the reader never reads out of bounds.
class ArchiveReader
{
public:
    explicit ArchiveReader(const QByteArray& bytes);

    // Reads a new-class header; true when it is well formed. Schema and name are
    // returned through the arguments.
    bool ReadClassHeader(uint16_t* schema, QByteArray* className);
    QString ReadString();
    int32_t ReadInt32();

    bool Failed() const { return failed_; }
    bool AtEnd() const { return pos_ >= static_cast<size_t>(bytes_.size()); }

private:
    bool Take(size_t count, const char** out);
    uint8_t ReadUInt8();
    uint16_t ReadUInt16();
    uint32_t ReadUInt32();

    QByteArray bytes_;
    size_t pos_ = 0;
    bool failed_ = false;
};

} // namespace platform
