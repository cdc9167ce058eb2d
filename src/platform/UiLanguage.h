#pragma once

#include <QString>

namespace platform {

// The language the program shows its texts in. The Chinese texts in the sources are
// the source texts; English comes from the translation file lumetra_en.qm.
class UiLanguage
{
public:
    enum class Language
    {
        Chinese,
        English
    };

    // The language the environment asks for: LUMETRA_LANG ("zh" or "en") when it is
    // one of those; otherwise the first of LANGUAGE (a colon list: its first entry),
    // LC_ALL, LC_MESSAGES and LANG that is set and not empty. Chinese for a value
    // starting with "zh", for none at all and for the C/POSIX locale (also "C.UTF-8");
    // English for every other value.
    static Language FromEnvironment();

    // Makes `language` the program's language: the language of the images and, for
    // English, the translator of lumetra_en.qm, looked up in <exeFolder>/translations
    // and then in <exeFolder>/../share/lumetra/translations. Returns false when the
    // English translation file was not found (the program then shows the source
    // texts). Call on the UI thread before any window is made.
    static bool Install(Language language, const QString& exeFolder);

    // The language set by Install (Chinese until then).
    static Language Current();

    // The folders searched for the translation files, in order.
    static QStringList TranslationFolders(const QString& exeFolder);
};

} // namespace platform
