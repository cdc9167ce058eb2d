#pragma once

#include <string>

class TcpConnection;

// Reads what a PC sends first on a new connection to the port-transfer or relay
// server: either an unframed JSON object (the registration {"st":1,...}) or one
// port-transfer frame ("zelq", 16-bit little-endian length, JSON text).
class RegistrationReader
{
public:
    struct Result
    {
        bool framed = false; // a "zelq" frame rather than a bare object
        std::string json;    // the object's text
        std::string rest;    // bytes that came after it (the start of the raw data)
    };

    static constexpr size_t kMaxLength = 8192;

    // Waits up to `timeoutMs` in all. False with a reason when the peer closed, sent
    // something else, or took too long.
    static bool Read(TcpConnection& connection, int timeoutMs, Result* result, std::string* error);

private:
    // Length of the JSON object at the start of `text`: 0 while incomplete, -1 when
    // `text` does not start with an object.
    static long ObjectLength(const std::string& text);
};
