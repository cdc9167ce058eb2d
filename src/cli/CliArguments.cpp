#include "CliArguments.h"

void CliArguments::AddFlag(const std::string& name)
{
    m_flags.insert(name);
}

void CliArguments::AddOption(const std::string& name)
{
    m_options.insert(name);
}

bool CliArguments::Parse(const std::vector<std::string>& args, std::string* error)
{
    m_given.clear();
    m_positional.clear();
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            m_positional.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        const size_t eq = word.find('=');
        const std::string name = eq == std::string::npos ? word : word.substr(0, eq);
        if (m_given.count(name) != 0) {
            *error = "option " + name + " given twice";
            return false;
        }
        if (m_flags.count(name) != 0) {
            if (eq != std::string::npos) {
                *error = "option " + name + " takes no value";
                return false;
            }
            m_given[name] = std::string();
        } else if (m_options.count(name) != 0) {
            if (eq != std::string::npos) {
                m_given[name] = word.substr(eq + 1);
            } else if (i + 1 < args.size()) {
                m_given[name] = args[++i];
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
    return m_given.count(name) != 0;
}

std::string CliArguments::Value(const std::string& name) const
{
    const auto it = m_given.find(name);
    return it == m_given.end() ? std::string() : it->second;
}
