#include "app/CRequestLogin.h"

#include "platform/ArchiveReader.h"
#include "platform/ArchiveWriter.h"

QByteArray CRequestLogin::Serialize() const
{
    platform::ArchiveWriter writer;
    writer.WriteClassHeader(kSchema, QByteArray(kClassName));
    writer.WriteString(userName_);
    writer.WriteString(password_);
    writer.WriteInt32(remember_);
    writer.WriteString(pcId_);
    return writer.Bytes();
}

std::unique_ptr<CRequestLogin> CRequestLogin::Deserialize(const QByteArray& bytes)
{
    if (static_cast<size_t>(bytes.size()) > kMaxBytes)
        return nullptr;
    platform::ArchiveReader reader(bytes);
    uint16_t schema = 0;
    QByteArray className;
    if (!reader.ReadClassHeader(&schema, &className))
        return nullptr;
    // Only the one schema this program writes is understood: the field layout of any
    // other schema is unknown, so such a cache is treated as absent.
    if (schema != kSchema || className != kClassName)
        return nullptr;
    auto record = std::make_unique<CRequestLogin>();
    record->userName_ = reader.ReadString();
    record->password_ = reader.ReadString();
    record->remember_ = reader.ReadInt32();
    record->pcId_ = reader.ReadString();
    // The cache is exactly one object; bytes after it mean the file is not what this
    // program wrote (for example an older, longer cache partly overwritten).
    if (reader.Failed() || !reader.AtEnd())
        return nullptr;
    return record;
}
