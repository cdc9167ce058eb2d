#include "ui/BrandingEntry.h"

#include "app/Installation.h"
#include "platform/UiLanguage.h"

#include <string>

const _Resource_Info* BrandingEntry::Find(const Installation& installation, const char* name)
{
    if (platform::UiLanguage::Current() == platform::UiLanguage::Language::English) {
        std::string english = name;
        const std::string::size_type dot = english.rfind('.');
        english.insert(dot == std::string::npos ? english.size() : dot, "_en");
        if (const _Resource_Info* entry = installation.FindResource(english.c_str()))
            return entry;
    }
    return installation.FindResource(name);
}
