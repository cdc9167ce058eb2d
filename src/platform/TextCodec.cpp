#include "platform/TextCodec.h"

#include <QStringDecoder>

namespace platform {

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
    // Strict UTF-8: no overlong forms, no encoded surrogates, nothing above U+10FFFF,
    // no sequence cut short. (A stateless decoder does not keep its error count, so
    // the check is done here byte by byte.)
    const size_t n = bytes.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        size_t extra = 0;
        unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
        if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
            if (lead == 0xE0)
                low = 0xA0;
            else if (lead == 0xED)
                high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
            if (lead == 0xF0)
                low = 0x90;
            else if (lead == 0xF4)
                high = 0x8F;
        } else {
            return false;
        }
        if (extra > n - i - 1)
            return false;
        for (size_t k = 1; k <= extra; ++k) {
            const unsigned char c = static_cast<unsigned char>(bytes[i + k]);
            const unsigned char lo = k == 1 ? low : 0x80;
            const unsigned char hi = k == 1 ? high : 0xBF;
            if (c < lo || c > hi)
                return false;
        }
        i += extra + 1;
    }
    return true;
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

} // namespace platform
