#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <string>

namespace platform {

// Reads a whole file that may hold at most a given number of bytes. A regular file
// whose size is over the limit is refused from its size alone, before anything is
// allocated; anything else (a device such as /dev/zero, a pipe) is read until its end
// or until one byte more than the limit has come, so no input can make the reader
// hold more than the limit plus one read chunk.
class BoundedFile
{
public:
    enum class Result
    {
        Read,     // `bytes` holds the whole file
        Missing,  // there is no such file
        TooLarge, // more bytes than the limit; nothing is kept
        Failed,   // cannot be opened or read (a folder, no permission, an I/O error)
    };

    // `bytes` is replaced (emptied unless the result is Read); `error` gets a short
    // reason for every result but Read.
    static Result Read(const QString& path, size_t limit, QByteArray* bytes, std::string* error);
    // The same from a descriptor opened for reading (left open), from where it stands.
    static Result ReadFrom(int fd, size_t limit, QByteArray* bytes, std::string* error);
};

} // namespace platform
