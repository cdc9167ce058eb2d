#include "cloud/ReplyWalker.h"

#include "app/JsonPtr.h"

#include <cjson/cJSON.h>

#include <cctype>
#include <cstring>
#include <memory>

namespace {

using Tree = JsonPtr;

bool IsByteOrderMark(const char* at)
{
    return std::strncmp(at, "\xEF\xBB\xBF", 3) == 0;
}

// cJSON_GetObjectItem's comparison of member names.
bool SameName(const char* a, const char* b)
{
    const auto* x = reinterpret_cast<const unsigned char*>(a);
    const auto* y = reinterpret_cast<const unsigned char*>(b);
    for (; std::tolower(*x) == std::tolower(*y); ++x, ++y) {
        if (*x == '\0')
            return true;
    }
    return false;
}

// The deepest nesting of objects and arrays in the value that starts at `pos` (an
// object or array), up to where it closes; strings are skipped as cJSON skips them.
int Nesting(const char* text, size_t pos, size_t length)
{
    int depth = 0;
    int deepest = 0;
    bool inString = false;
    for (; pos < length; ++pos) {
        const char c = text[pos];
        if (inString) {
            if (c == '\\')
                ++pos;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            if (++depth > deepest)
                deepest = depth;
        } else if ((c == '}' || c == ']') && --depth <= 0) {
            break;
        }
    }
    return deepest;
}

// A position in the text with the steps of cJSON's own object and array reading.
class Cursor
{
public:
    explicit Cursor(const char* text) : text_(text), length_(std::strlen(text)) {}

    const char* Text() const { return text_; }
    size_t Length() const { return length_; }
    size_t Pos() const { return pos_; }
    void Skip(size_t count) { pos_ += count; }

    // Every byte up to 32 counts as white space, as in cJSON.
    void SkipSpace()
    {
        while (pos_ < length_ && static_cast<unsigned char>(text_[pos_]) <= 32)
            ++pos_;
    }
    bool At(char c) const { return pos_ < length_ && text_[pos_] == c; }

    // The value that starts here, parsed by cJSON over the same bytes to the end of
    // the text (so numbers and literals end where they end in the whole text); the
    // cursor moves past it. Null when it is not a value. A byte-order mark, which
    // cJSON would skip at the start of a text, is no value inside one.
    Tree Value()
    {
        if (pos_ >= length_ || IsByteOrderMark(text_ + pos_))
            return Tree();
        const char* end = nullptr;
        Tree value(cJSON_ParseWithLengthOpts(text_ + pos_, length_ - pos_ + 1, &end, 0));
        if (value != nullptr)
            pos_ = static_cast<size_t>(end - text_);
        return value;
    }

private:
    const char* text_;
    size_t length_;
    size_t pos_ = 0;
};

// The elements of the array at the cursor, one at a time (cJSON's parse_array).
bool WalkArray(Cursor& cursor, ReplyWalker::Callback<bool(const cJSON*)> onElement)
{
    cursor.Skip(1);
    cursor.SkipSpace();
    if (cursor.At(']')) {
        cursor.Skip(1);
        return true;
    }
    for (;;) {
        const Tree element = cursor.Value();
        if (element == nullptr || !onElement(element.get()))
            return false;
        cursor.SkipSpace();
        if (cursor.At(']')) {
            cursor.Skip(1);
            return true;
        }
        if (!cursor.At(','))
            return false;
        cursor.Skip(1);
        cursor.SkipSpace();
    }
}

} // namespace

bool ReplyWalker::Walk(const char* text, const std::vector<const char*>& names, const char* listName,
                       Callback<void(size_t, const cJSON*)> onMember, Callback<bool(const cJSON*)> onElement)
{
    if (text == nullptr)
        return false;
    Cursor cursor(text);
    if (IsByteOrderMark(text))
        cursor.Skip(3);
    cursor.SkipSpace();
    if (!cursor.At('{') || Nesting(text, cursor.Pos(), cursor.Length()) > kNestingLimit)
        return false;
    // cJSON's parse_object, with each value read on its own.
    cursor.Skip(1);
    cursor.SkipSpace();
    if (cursor.At('}'))
        return true;
    std::vector<bool> seen(names.size(), false);
    bool listSeen = listName == nullptr;
    for (;;) {
        if (!cursor.At('"'))
            return false;
        const Tree key = cursor.Value();
        if (key == nullptr || !cJSON_IsString(key.get()) || key->valuestring == nullptr)
            return false;
        cursor.SkipSpace();
        if (!cursor.At(':'))
            return false;
        cursor.Skip(1);
        cursor.SkipSpace();
        const bool isList = !listSeen && SameName(key->valuestring, listName);
        listSeen = listSeen || isList;
        if (isList && cursor.At('[')) {
            if (!WalkArray(cursor, onElement))
                return false;
        } else {
            const Tree value = cursor.Value();
            if (value == nullptr)
                return false;
            for (size_t i = 0; i < names.size(); ++i) {
                if (!seen[i] && SameName(key->valuestring, names[i])) {
                    seen[i] = true;
                    onMember(i, value.get());
                }
            }
        }
        cursor.SkipSpace();
        if (cursor.At('}'))
            return true;
        if (!cursor.At(','))
            return false;
        cursor.Skip(1);
        cursor.SkipSpace();
    }
}
