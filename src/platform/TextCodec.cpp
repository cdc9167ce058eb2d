#include "platform/TextCodec.h"

#include <QStringDecoder>

namespace TextCodec {

QString Utf8ToWide(const std::string& utf8)
{
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string WideToLocal(const QString& wide)
{
    return wide.toStdString();
}

QString LocalToWide(const std::string& local)
{
    return Utf8ToWide(local);
}

std::string WideToUtf8(const QString& wide)
{
    return wide.toStdString();
}

bool IsValidUtf8(const std::string& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    (void)decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return !decoder.hasError();
}

QString LegacyToWide(const std::string& bytes)
{
    if (IsValidUtf8(bytes))
        return Utf8ToWide(bytes);
    QStringDecoder gb("GB18030");
    if (gb.isValid())
        return gb.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

} // namespace TextCodec
