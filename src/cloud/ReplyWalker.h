#pragma once

#include <cstddef>
#include <type_traits>
#include <vector>

struct cJSON;

// Reads a web-service reply's top-level JSON object without building a tree of the
// whole reply: the value of each member is parsed on its own, and the elements of
// one array member one at a time, each handed over and freed before the next. So a
// reply never costs more than its text, the records made from it and one element.
//
// The verdict is the one cJSON_Parse gives for the same text: the text ends at its
// first zero byte, one leading byte-order mark and text after the object are
// accepted, and no value may nest deeper than cJSON's limit of 1,000. Member names
// are matched as cJSON_GetObjectItem matches them (without regard to case), and only
// the first member of a name counts.
class ReplyWalker
{
public:
    // A call of a caller's function object for the length of one Walk, without a
    // copy of it and without the run-time type records std::function needs.
    template <typename Signature> class Callback;
    template <typename Result, typename... Args> class Callback<Result(Args...)>
    {
    public:
        template <typename F, typename = std::enable_if_t<!std::is_same_v<std::decay_t<F>, Callback>>>
        Callback(F&& function) // implicit: every caller passes a lambda
            : object_(const_cast<void*>(static_cast<const void*>(&function))),
              call_([](void* object, Args... args) -> Result {
                  return (*static_cast<std::remove_reference_t<F>*>(object))(args...);
              })
        {
        }
        Result operator()(Args... args) const { return call_(object_, args...); }

    private:
        void* object_;
        Result (*call_)(void*, Args...);
    };

    // `names`: the members whose first occurrence goes to `onMember`, with its index
    // in `names` (the value is freed after the call). `listName` (may be null): the
    // member whose elements go to `onElement` when its first occurrence is an array;
    // `onElement` returns false to end the walk there. True when the text is one JSON
    // object and no `onElement` call ended the walk; the calls made before a false
    // result must then be disregarded.
    static bool Walk(const char* text, const std::vector<const char*>& names, const char* listName,
                     Callback<void(size_t index, const cJSON* value)> onMember,
                     Callback<bool(const cJSON* element)> onElement);

    // cJSON's nesting limit.
    static constexpr int kNestingLimit = 1000;
};
