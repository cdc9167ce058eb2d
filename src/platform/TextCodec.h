#pragma once

#include <QString>
#include <string>

namespace platform {

// Conversions between the program's wide text (QString) and the narrow texts that
// travel on the wire and live in files. Every narrow encoding here is UTF-8: the
// web service, the broker and the files all speak UTF-8 on this platform.
namespace TextCodec {

// Narrow UTF-8 -> wide. Invalid sequences become U+FFFD.
QString Utf8ToWide(const std::string& utf8);
// Wide -> the narrow text shown to local files and the wire (UTF-8 here).
std::string WideToLocal(const QString& wide);
// The narrow local encoding (UTF-8 here) -> wide.
QString LocalToWide(const std::string& local);
// Wide -> UTF-8.
std::string WideToUtf8(const QString& wide);
// A text sent in the sender's legacy code page: shown as UTF-8 when it is valid
// UTF-8, otherwise decoded as GB18030 (Latin-1 when the system has no GB18030 codec).
QString LegacyToWide(const std::string& bytes);
// True when the bytes form valid UTF-8.
bool IsValidUtf8(const std::string& bytes);

} // namespace TextCodec

} // namespace platform
