#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Reads an OpenVPN client profile the way the service checks it: one directive a
// line (a leading "--" is dropped), arguments separated by blanks, an argument with
// blanks in double quotes; lines starting with '#' or ';' and an argument starting
// with either (with the rest of its line) are comments; inline data blocks
// ("<ca>" ... "</ca>") of certificates, keys and credentials. Every directive must be
// allowed by ProfileRules. Characters that OpenVPN's own reader treats specially and
// that a profile has no use for (backslashes, single quotes, control characters) are
// refused, so that Write gives OpenVPN exactly the directives that were checked.
class ProfileCheck
{
public:
    static constexpr size_t kMaxBytes = 64 * 1024;
    static constexpr size_t kMaxLineBytes = 1024;
    static constexpr size_t kMaxDirectives = 256;

    struct Directive
    {
        std::string name;
        std::vector<std::string> arguments;
        bool block = false;     // an inline data block: `body` holds its lines
        std::string body;       // each line ended by "\n"
        bool namesFile = false; // arguments[0] names a file (not "[inline]")
        bool output = false;    // ... that OpenVPN writes (else reads)
    };

    // The directives of `text`; empty `error` when every one is allowed, else the
    // reason, naming the line.
    static std::vector<Directive> Parse(const std::string& text, std::string& error);

    // The profile OpenVPN is given: the directives as checked, every argument in
    // double quotes, one a line.
    static std::string Write(const std::vector<Directive>& directives);
};
