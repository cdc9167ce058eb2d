#pragma once

struct cJSON;

// Readers of inbound tunnel messages. Member names are matched without regard to
// case, as everywhere in inbound messages.

// True when `message` has the member `name` (of any kind).
bool TunnelJsonHas(const cJSON* message, const char* name);

// The integer value of a number member, 1 for true and 0 for false; false (and
// `value` untouched) when the member is absent or of another kind.
bool TunnelJsonInt(const cJSON* message, const char* name, int* value);
