#include "ProfileCheck.h"

#include "ProfileRules.h"

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string Trimmed(const std::string& line)
{
    size_t begin = 0;
    size_t end = line.size();
    while (begin < end && IsBlank(line[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(line[end - 1])) {
        --end;
    }
    return line.substr(begin, end - begin);
}

// Control characters other than a tab (and DEL) are refused anywhere.
bool HasControl(const std::string& line)
{
    for (unsigned char c : line) {
        if ((c < 0x20 && c != '\t') || c == 0x7f) {
            return true;
        }
    }
    return false;
}

// Splits a directive line into words; false (with `error`) on an unclosed or
// misplaced quote or a character refused in arguments.
bool Split(const std::string& line, std::vector<std::string>& words, std::string& error)
{
    size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && IsBlank(line[at])) {
            ++at;
        }
        if (at >= line.size() || line[at] == '#' || line[at] == ';') {
            break;
        }
        std::string word;
        if (line[at] == '"') {
            const size_t close = line.find('"', at + 1);
            if (close == std::string::npos) {
                error = "unclosed quote";
                return false;
            }
            word = line.substr(at + 1, close - at - 1);
            at = close + 1;
            if (at < line.size() && !IsBlank(line[at])) {
                error = "a quote in the middle of an argument";
                return false;
            }
        } else {
            const size_t begin = at;
            while (at < line.size() && !IsBlank(line[at])) {
                ++at;
            }
            word = line.substr(begin, at - begin);
        }
        if (word.find_first_of("\\'\"") != std::string::npos) {
            error = "backslashes and quotes are not allowed in arguments";
            return false;
        }
        words.push_back(word);
    }
    return true;
}

} // namespace

std::vector<ProfileCheck::Directive> ProfileCheck::Parse(const std::string& text, std::string& error)
{
    std::vector<Directive> directives;
    error.clear();
    if (text.size() > kMaxBytes) {
        error = "the profile is larger than " + std::to_string(kMaxBytes) + " bytes";
        return {};
    }
    Directive* block = nullptr;
    size_t lineNumber = 0;
    size_t begin = 0;
    while (begin < text.size()) {
        size_t end = text.find('\n', begin);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(begin, end - begin);
        begin = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        if (line.size() > kMaxLineBytes || HasControl(line)) {
            error = where + "too long or holds control characters";
            return {};
        }
        const std::string trimmed = Trimmed(line);
        if (block != nullptr) {
            if (trimmed == "</" + block->name + ">") {
                block = nullptr;
            } else if (!trimmed.empty() && trimmed[0] == '<') {
                error = where + "a tag inside the <" + block->name + "> block";
                return {};
            } else {
                block->body += trimmed + "\n";
            }
            continue;
        }
        if (trimmed.empty() || trimmed[0] == '#' || trimmed[0] == ';') {
            continue;
        }
        if (directives.size() >= kMaxDirectives) {
            error = where + "more than " + std::to_string(kMaxDirectives) + " directives";
            return {};
        }
        if (trimmed[0] == '<') {
            const std::string name = trimmed.size() > 2 && trimmed.back() == '>'
                                         ? trimmed.substr(1, trimmed.size() - 2)
                                         : std::string();
            if (!ProfileRules::IsInlineBlock(name)) {
                error = where + "the block " + trimmed + " is not allowed";
                return {};
            }
            Directive directive;
            directive.name = name;
            directive.block = true;
            directives.push_back(directive);
            block = &directives.back();
            continue;
        }
        std::vector<std::string> words;
        std::string why;
        if (!Split(trimmed, words, why)) {
            error = where + why;
            return {};
        }
        if (words.empty()) {
            continue;
        }
        Directive directive;
        directive.name = words[0].compare(0, 2, "--") == 0 ? words[0].substr(2) : words[0];
        directive.arguments.assign(words.begin() + 1, words.end());
        const ProfileRules::Rule rule = ProfileRules::Of(directive.name);
        const std::string named = where + "\"" + directive.name + "\" ";
        if (rule.kind == ProfileRules::Kind::Unknown || rule.kind == ProfileRules::Kind::Forbidden) {
            error = named + "refused: " + rule.reason;
            return {};
        }
        if (static_cast<int>(directive.arguments.size()) > rule.maxArguments) {
            error = named + "refused: too many arguments";
            return {};
        }
        if (rule.kind == ProfileRules::Kind::InputFile || rule.kind == ProfileRules::Kind::OutputFile) {
            if (directive.arguments.empty()) {
                if (!rule.fileOptional) {
                    error = named + "refused: names no file";
                    return {};
                }
            } else if (directive.arguments[0] != "[inline]" || rule.kind == ProfileRules::Kind::OutputFile) {
                if (directive.arguments[0].empty()) {
                    error = named + "refused: an empty file name";
                    return {};
                }
                directive.namesFile = true;
                directive.output = rule.kind == ProfileRules::Kind::OutputFile;
            }
        }
        if (directive.name == "dev" && !directive.arguments.empty() &&
            directive.arguments[0].find('/') != std::string::npos) {
            error = named + "refused: " + ProfileRules::Of("dev-node").reason;
            return {};
        }
        directives.push_back(directive);
    }
    if (block != nullptr) {
        error = "the <" + block->name + "> block is not closed";
        return {};
    }
    return directives;
}

std::string ProfileCheck::Write(const std::vector<Directive>& directives)
{
    std::string text = "# Checked and copied by lumetra-vpnd\n";
    for (const Directive& directive : directives) {
        if (directive.block) {
            text += "<" + directive.name + ">\n" + directive.body + "</" + directive.name + ">\n";
            continue;
        }
        text += directive.name;
        for (const std::string& argument : directive.arguments) {
            text += " \"" + argument + "\"";
        }
        text += "\n";
    }
    return text;
}
