#pragma once

#include <string>

// The replies a device tunnel waits for in one open. Each request the tunnel sends
// expects its reply once; a reply that nobody asked for, or that already came, is
// ignored with one line on standard error, so another party on the broker cannot
// drive the tunnel through its steps or repeat one of them.
class ReplyExpectations
{
public:
    enum Reply
    {
        kBindAnswer = 1 << 0,         // 2984, to the bind request or the relay registration
        kParameterRequest = 1 << 1,   // 2995, to the open request (2996)
        kRegistrationResult = 1 << 2, // 3001, to the link parameters (3000)
        kResult = 1 << 3,             // 2993, the outcome of the open
        kFarEndClosed = 1 << 4,       // 3003, the far end's close of an open tunnel
    };

    // Forgets every expectation (the tunnel stopped or starts over).
    void Clear() { expected_ = 0; }
    // A request went out: its reply is now welcome once.
    void Expect(Reply reply) { expected_ |= reply; }
    bool IsExpected(Reply reply) const { return (expected_ & reply) != 0; }
    // True, and the expectation is used up, when `reply` was expected. Otherwise
    // false and one line on standard error names the reply and the tunnel.
    bool Take(Reply reply, const std::string& tunnel);

    // The command code of a reply, for diagnostics.
    static int CommandCode(Reply reply);

private:
    unsigned expected_ = 0;
};
