#pragma once

class Installation;
struct _Resource_Info;

// The custom resource entries the user reads (the branding texts and the title
// picture) in the program's language. They are the installation's data, not the
// program's texts: in English the entry "<name>_en" is used when the installation
// has one ("title_en.png" for "title.png"), otherwise the entry itself.
class BrandingEntry
{
public:
    static const _Resource_Info* Find(const Installation& installation, const char* name);
};
