#include "InboundMessage.h"

#include <cjson/cJSON.h>

#include <climits>
#include <cmath>

bool InboundMessage::Parse(const std::string& payload)
{
    root_.reset(cJSON_ParseWithLength(payload.data(), payload.size()));
    if (!root_) {
        error_ = "not JSON";
        return false;
    }
    if (!cJSON_IsObject(root_.get())) {
        error_ = "not a JSON object";
        return false;
    }
    return true;
}

const cJSON* InboundMessage::Member(const char* name, const cJSON* object)
{
    const cJSON* item = cJSON_GetObjectItemCaseSensitive(object ? object : root_.get(), name);
    if (!item)
        error_ = std::string(name) + " is missing";
    return item;
}

bool InboundMessage::Has(const char* name, const cJSON* object) const
{
    return cJSON_GetObjectItemCaseSensitive(object ? object : root_.get(), name) != nullptr;
}

bool InboundMessage::Text(const char* name, std::string* out, const cJSON* object)
{
    const cJSON* item = Member(name, object);
    if (!item)
        return false;
    if (!cJSON_IsString(item)) {
        error_ = std::string(name) + " is not a string";
        return false;
    }
    *out = item->valuestring;
    return true;
}

bool InboundMessage::Integer(const char* name, int* out, const cJSON* object)
{
    const cJSON* item = Member(name, object);
    if (!item)
        return false;
    const double value = item->valuedouble;
    if (!cJSON_IsNumber(item) || std::floor(value) != value || value < INT_MIN || value > INT_MAX) {
        error_ = std::string(name) + " is not an integer number";
        return false;
    }
    *out = static_cast<int>(value);
    return true;
}

bool InboundMessage::Object(const char* name, const cJSON** out, const cJSON* object)
{
    const cJSON* item = Member(name, object);
    if (!item)
        return false;
    if (!cJSON_IsObject(item)) {
        error_ = std::string(name) + " is not an object";
        return false;
    }
    *out = item;
    return true;
}

bool InboundMessage::MembersAre(std::initializer_list<const char*> names, const cJSON* object,
                                bool prefixOnly)
{
    const cJSON* item = (object ? object : root_.get())->child;
    bool same = true;
    std::string expected;
    for (const char* name : names) {
        expected += (expected.empty() ? "" : ", ") + std::string(name);
        same = same && item && item->string && std::string(item->string) == name;
        item = item ? item->next : nullptr;
    }
    if (same && (prefixOnly || !item))
        return true;
    error_ = std::string(prefixOnly ? "the first members are not " : "the members are not ") + expected;
    return false;
}
