#include "platform/UiLanguage.h"

#include <QCoreApplication>
#include <QDir>
#include <QStringList>
#include <QTranslator>

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

// Set once at start on the UI thread; read by the views and the image loader.
std::atomic<UiLanguage::Language> g_current{UiLanguage::Language::Chinese};

const char* NonEmpty(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0' ? value : nullptr;
}

UiLanguage::Language FromLocale(const QString& locale)
{
    if (locale.isEmpty() || locale.startsWith(QLatin1String("zh")) || locale == QLatin1String("C") ||
        locale.startsWith(QLatin1String("C.")) || locale == QLatin1String("POSIX"))
        return UiLanguage::Language::Chinese;
    return UiLanguage::Language::English;
}

} // namespace

UiLanguage::Language UiLanguage::FromEnvironment()
{
    if (const char* forced = NonEmpty("LUMETRA_LANG")) {
        if (std::strcmp(forced, "zh") == 0)
            return Language::Chinese;
        if (std::strcmp(forced, "en") == 0)
            return Language::English;
    }
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const char* value = NonEmpty(name)) {
            const QString first = QString::fromLocal8Bit(value).section(QLatin1Char(':'), 0, 0);
            return FromLocale(first);
        }
    }
    return Language::Chinese;
}

QStringList UiLanguage::TranslationFolders(const QString& exeFolder)
{
    return {exeFolder + QStringLiteral("/translations"),
            QDir::cleanPath(exeFolder + QStringLiteral("/../share/lumetra/translations"))};
}

bool UiLanguage::Install(Language language, const QString& exeFolder)
{
    g_current.store(language);
    if (language != Language::English)
        return true;
    // The translator lives as long as the application (parented to it).
    auto* translator = new QTranslator(QCoreApplication::instance());
    for (const QString& folder : TranslationFolders(exeFolder)) {
        if (translator->load(QStringLiteral("lumetra_en"), folder)) {
            QCoreApplication::installTranslator(translator);
            return true;
        }
    }
    delete translator;
    return false;
}

UiLanguage::Language UiLanguage::Current()
{
    return g_current.load();
}

} // namespace platform
