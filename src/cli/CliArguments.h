#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

// Parses the words after a command name: declared flags ("--remember"), declared
// options with a value ("--sn S" or "--sn=S") and positional words. "--" ends the
// options, so a positional word that starts with '-' can follow it. An undeclared
// option, a missing value or an option given twice is an error.
class CliArguments
{
public:
    void AddFlag(const std::string& name);
    void AddOption(const std::string& name);

    // False with a one-line reason in `error`.
    bool Parse(const std::vector<std::string>& args, std::string* error);

    bool Has(const std::string& name) const;
    // The value of an option, or an empty text when it was not given.
    std::string Value(const std::string& name) const;
    const std::vector<std::string>& Positional() const { return positional_; }

private:
    std::set<std::string> flags_;
    std::set<std::string> options_;
    std::map<std::string, std::string> given_;
    std::vector<std::string> positional_;
};
