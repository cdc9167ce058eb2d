#pragma once

#include "app/JsonPtr.h"

#include <initializer_list>
#include <string>

// A JSON message the far side received, with typed reads that explain what is wrong.
// Member names are matched exactly (letter case included): a client that misspells a
// member gets no answer and a log line naming it.
class InboundMessage
{
public:
    // False with a reason when `payload` is not a JSON object.
    bool Parse(const std::string& payload);

    const cJSON* Root() const { return root_.get(); }
    // Members of `object` (the top level when null). False with Error() set when the
    // member is missing or has another type.
    bool Text(const char* name, std::string* out, const cJSON* object = nullptr);
    bool Integer(const char* name, int* out, const cJSON* object = nullptr);
    bool Object(const char* name, const cJSON** out, const cJSON* object = nullptr);
    bool Has(const char* name, const cJSON* object = nullptr) const;
    // Whether the members of `object` (the top level when null) are exactly `names`,
    // in this order (with `prefixOnly`, whether its first members are). False with
    // Error() naming the expected order otherwise.
    bool MembersAre(std::initializer_list<const char*> names, const cJSON* object = nullptr,
                    bool prefixOnly = false);

    const std::string& Error() const { return error_; }

private:
    const cJSON* Member(const char* name, const cJSON* object);

    JsonPtr root_;
    std::string error_;
};
