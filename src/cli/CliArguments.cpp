#include "CliArguments.h"

void CliArguments::AddFlag(const std::string& name)
{
    flags_.insert(name);
}

void CliArguments::AddOption(const std::string& name)
{
    options_.insert(name);
}

bool CliArguments::Parse(const std::vector<std::string>& args, std::string* error)
{
    given_.clear();
    positional_.clear();
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            positional_.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        const size_t eq = word.find('=');
        const std::string name = eq == std::string::npos ? word : word.substr(0, eq);
        if (given_.count(name) != 0) {
            *error = "option " + name + " given twice";
            return false;
        }
        if (flags_.count(name) != 0) {
            if (eq != std::string::npos) {
                *error = "option " + name + " takes no value";
                return false;
            }
            given_[name] = std::string();
        } else if (options_.count(name) != 0) {
            if (eq != std::string::npos) {
                given_[name] = word.substr(eq + 1);
            } else if (i + 1 < args.size()) {
                given_[name] = args[++i];
            } else {
                *error = "option " + name + " needs a value";
                return false;
            }
        } else {
            *error = "unknown option " + name;
            return false;
        }
    }
    return true;
}

bool CliArguments::Has(const std::string& name) const
{
    return given_.count(name) != 0;
}

std::string CliArguments::Value(const std::string& name) const
{
    const auto it = given_.find(name);
    return it == given_.end() ? std::string() : it->second;
}
