#include "tunnel/TunnelJson.h"

#include <cjson/cJSON.h>

bool TunnelJsonHas(const cJSON* message, const char* name)
{
    return message != nullptr && cJSON_GetObjectItem(message, name) != nullptr;
}

bool TunnelJsonInt(const cJSON* message, const char* name, int* value)
{
    const cJSON* item = message != nullptr ? cJSON_GetObjectItem(message, name) : nullptr;
    if (item == nullptr || value == nullptr) {
        return false;
    }
    if (cJSON_IsNumber(item)) {
        *value = item->valueint;
        return true;
    }
    if (cJSON_IsBool(item)) {
        *value = cJSON_IsTrue(item) ? 1 : 0;
        return true;
    }
    return false;
}
