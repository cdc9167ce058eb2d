#pragma once

#include <string>

class TcpConnection;

// Reads what a PC sends first on a new connection to the port-transfer or relay
// server: either an unframed JSON object (the registration {"st":1,...}) or one
// port-transfer frame ("zelq", 16-bit little-endian length, JSON text), and reads
// the objects the servers expect in them.
class RegistrationReader
{
public:
    struct Result
    {
        bool framed = false; // a "zelq" frame rather than a bare object
        std::string json;    // the object's text
        std::string rest;    // bytes that came after it (the start of the raw data)
    };

    // The registration: exactly the members "st", "pc_id", "gw_sn", "dev_sn",
    // "reconnect", in this order.
    struct Registration
    {
        int st = 0;
        std::string pcId;
        std::string gwSn;
        std::string devSn;
        int reconnect = 0;
    };

    // The release frame's object: "cmd_id" 3002, then exactly "gw_sn", "dev_sn",
    // "pc_id", "restart_gw_service".
    struct Release
    {
        std::string gwSn;
        std::string devSn;
        std::string pcId;
    };

    static constexpr size_t kMaxLength = 8192;

    // What the bytes received so far amount to.
    enum class Scan
    {
        Incomplete, // neither complete nor wrong yet: read more
        Complete,   // `result` holds the object and what followed it
        Refused,    // the bytes start neither an object nor a frame (reason in `error`)
    };
    static Scan Look(const std::string& received, Result* result, std::string* error);

    // Waits up to `timeoutMs` in all. False with a reason when the peer closed, sent
    // something else, or took too long.
    static bool Read(TcpConnection& connection, int timeoutMs, Result* result, std::string* error);

    // False with the reason ("registration refused: ...", as the servers log it).
    static bool ParseRegistration(const std::string& json, Registration* registration, std::string* error);
    // False with the reason ("frame refused: ..." or "3002 refused: ...").
    static bool ParseRelease(const std::string& json, Release* release, std::string* error);

private:
    // Length of the JSON object at the start of `text`: 0 while incomplete, -1 when
    // `text` does not start with an object.
    static long ObjectLength(const std::string& text);
};
