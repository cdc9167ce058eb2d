#include "PlatconfManifest.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sstream>

namespace {

bool ParseInt32(const std::string& text, int32_t* out)
{
    if (text.empty())
        return false;
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(begin, &end, 10);
    if (errno != 0 || end != begin + text.size() || v < INT32_MIN || v > INT32_MAX)
        return false;
    // strtoll accepts leading blanks and a '+'; the manifest wants plain digits.
    if (text[0] != '-' && (text[0] < '0' || text[0] > '9'))
        return false;
    *out = static_cast<int32_t>(v);
    return true;
}

bool ParseRect(const std::string& text, PlatconfManifest::Line* line)
{
    int32_t parts[4];
    size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        const size_t comma = text.find(',', start);
        const bool last = i == 3;
        if (last != (comma == std::string::npos))
            return false;
        const std::string part = text.substr(start, last ? std::string::npos : comma - start);
        if (!ParseInt32(part, &parts[i]))
            return false;
        start = comma + 1;
    }
    line->left = parts[0];
    line->top = parts[1];
    line->right = parts[2];
    line->bottom = parts[3];
    return true;
}

} // namespace

bool PlatconfManifest::Parse(const std::string& text, std::string* error)
{
    lines_.clear();
    std::istringstream in(text);
    std::string raw;
    int number = 0;
    while (std::getline(in, raw)) {
        ++number;
        const std::string where = "line " + std::to_string(number) + ": ";
        const size_t hash = raw.find('#');
        if (hash != std::string::npos)
            raw.erase(hash);
        std::istringstream words(raw);
        std::string name;
        if (!(words >> name))
            continue; // blank or comment only
        Line line;
        line.name = name;
        line.lineNumber = number;
        std::string word;
        while (words >> word) {
            const size_t eq = word.find('=');
            const std::string key = eq == std::string::npos ? word : word.substr(0, eq);
            const std::string value = eq == std::string::npos ? std::string() : word.substr(eq + 1);
            if (key == "value") {
                if (line.hasValue) {
                    *error = where + "value given twice";
                    return false;
                }
                if (eq == std::string::npos || !ParseInt32(value, &line.value)) {
                    *error = where + "value must be value=<32-bit integer>, got '" + word + "'";
                    return false;
                }
                line.hasValue = true;
            } else if (key == "rect") {
                if (line.hasRect) {
                    *error = where + "rect given twice";
                    return false;
                }
                if (eq == std::string::npos || !ParseRect(value, &line)) {
                    *error = where + "rect must be rect=<left>,<top>,<right>,<bottom>, got '" + word + "'";
                    return false;
                }
                line.hasRect = true;
            } else {
                *error = where + "unknown field '" + word + "' (expected value=... or rect=...)";
                return false;
            }
        }
        if (const Line* earlier = Find(name)) {
            *error = where + "entry '" + name + "' already described on line " +
                     std::to_string(earlier->lineNumber);
            return false;
        }
        lines_.push_back(line);
    }
    return true;
}

const PlatconfManifest::Line* PlatconfManifest::Find(const std::string& name) const
{
    for (const Line& line : lines_) {
        if (line.name == name)
            return &line;
    }
    return nullptr;
}
