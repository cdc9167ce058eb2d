#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

// The optional manifest of a platconf folder ("platconf.manifest"): per entry the
// 32-bit value and the rectangle that the file itself cannot carry. One line per
// entry:
//   <entry name> value=<int> rect=<left>,<top>,<right>,<bottom>
// Either part may be left out; '#' starts a comment; blank lines are ignored.
class PlatconfManifest
{
public:
    static constexpr const char* kFileName = "platconf.manifest";

    struct Line
    {
        std::string name;
        int lineNumber = 0;
        bool hasValue = false;
        int32_t value = 0;
        bool hasRect = false;
        int32_t left = 0;
        int32_t top = 0;
        int32_t right = 0;
        int32_t bottom = 0;
    };

    // Parses the manifest text. False with "line N: reason" in `error` on the first
    // malformed line or on a second line for the same entry.
    bool Parse(const std::string& text, std::string* error);

    // The line for `name`, or null.
    const Line* Find(const std::string& name) const;
    const std::vector<Line>& Lines() const { return lines_; }

private:
    std::vector<Line> lines_;
};
