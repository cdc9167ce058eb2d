#pragma once

#include <string>

// What the service lets a caller's OpenVPN profile say, directive by directive. OpenVPN
// runs as root on the caller's behalf, so the table is a list of what is allowed:
// anything not in it is refused, and directives known to run programs, load code,
// change the process's user, folder or management interface carry their own reason.
class ProfileRules
{
public:
    enum class Kind
    {
        Unknown,    // not in the table: refused
        Forbidden,  // refused with `reason`
        Plain,      // allowed; its arguments are no file names
        InputFile,  // allowed; argument 1 names a file OpenVPN reads (or "[inline]")
        OutputFile, // allowed; argument 1 names a file OpenVPN writes
    };

    struct Rule
    {
        Kind kind = Kind::Unknown;
        const char* reason = "";
        // InputFile: the file argument may be left out (auth-user-pass, askpass).
        bool fileOptional = false;
        // Most arguments the directive takes (the file included).
        int maxArguments = 0;
    };

    // The rule of directive `name` as written in a profile (without a leading "--").
    static Rule Of(const std::string& name);

    // Whether `<name>` opens an inline data block (certificates, keys, credentials).
    static bool IsInlineBlock(const std::string& name);
};
