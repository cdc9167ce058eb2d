#pragma once

#include <cstdint>
#include <string>

class Installation;
struct _Resource_Info;

// The installation the tunnels read while they do not yet receive one from their
// creator: the start-up registers its Installation here. Look-ups before any
// registration see an empty table, an empty PC identifier and the trace log of
// the program folder.
void SetProcessInstallation(Installation* installation);
Installation& ProcessInstallation();

// Shorthands on ProcessInstallation().
const char* GetPcId();
const _Resource_Info* FindCustomResource(const char* name);
std::string CustomResourceText(const char* name, const std::string& fallback = std::string());
void WriteTrace(const unsigned char* data, uint32_t length, const char* label, int hex);
