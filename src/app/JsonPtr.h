#pragma once

#include <cjson/cJSON.h>

#include <memory>

// Owning handles for what cJSON allocates: a parsed or built tree (released with
// cJSON_Delete) and the text cJSON_Print / cJSON_PrintUnformatted return (released
// with cJSON_free). Header-only, so the far side and the tools can use it without
// linking the client's libraries.
struct JsonDeleter
{
    void operator()(cJSON* json) const { cJSON_Delete(json); }
};

struct JsonTextDeleter
{
    void operator()(char* text) const { cJSON_free(text); }
};

using JsonPtr = std::unique_ptr<cJSON, JsonDeleter>;
using JsonText = std::unique_ptr<char, JsonTextDeleter>;
