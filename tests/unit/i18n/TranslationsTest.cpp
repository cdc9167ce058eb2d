// The English translation of the program's Chinese source texts: the sources against
// translations/lumetra_en.ts, the built lumetra_en.qm against the .ts, and how texts
// are translated where they are shown.

#include "app/UiText.h"
#include "platform/UiLanguage.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

struct Literal
{
    QString text;
    QString where; // file:line
};

struct Entry
{
    QString translation;
    QString type; // "" for a finished entry
};

bool IsChinese(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x3000 && u <= 0x9fff) || (u >= 0xff00 && u <= 0xffef);
}

bool HasChinese(const QString& text)
{
    for (QChar c : text) {
        if (IsChinese(c))
            return true;
    }
    return false;
}

// The string literals of one C++ file that hold a Chinese character, outside comments,
// with their escapes resolved. Literals on a line that makes a QFont are font family
// names, not texts.
std::vector<Literal> ChineseLiterals(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString code = QString::fromUtf8(file.readAll());
    std::vector<Literal> found;
    int line = 1;
    qsizetype i = 0;
    const qsizetype n = code.size();
    auto lineOf = [&](qsizetype at) {
        const qsizetype start = code.lastIndexOf(QLatin1Char('\n'), at) + 1;
        const qsizetype end = code.indexOf(QLatin1Char('\n'), at);
        return code.mid(start, end < 0 ? -1 : end - start);
    };
    while (i < n) {
        const QChar c = code.at(i);
        if (c == QLatin1Char('\n')) {
            ++line;
            ++i;
        } else if (code.mid(i, 2) == QLatin1String("//")) {
            while (i < n && code.at(i) != QLatin1Char('\n'))
                ++i;
        } else if (code.mid(i, 2) == QLatin1String("/*")) {
            const qsizetype end = code.indexOf(QLatin1String("*/"), i + 2);
            const qsizetype stop = end < 0 ? n : end + 2;
            line += int(code.mid(i, stop - i).count(QLatin1Char('\n')));
            i = stop;
        } else if (c == QLatin1Char('\'')) {
            ++i;
            while (i < n && code.at(i) != QLatin1Char('\'')) {
                if (code.at(i) == QLatin1Char('\\'))
                    ++i;
                ++i;
            }
            ++i;
        } else if (c == QLatin1Char('"')) {
            const qsizetype start = i;
            QString text;
            ++i;
            while (i < n && code.at(i) != QLatin1Char('"')) {
                if (code.at(i) == QLatin1Char('\\') && i + 1 < n) {
                    const QChar e = code.at(i + 1);
                    text += e == QLatin1Char('n') ? QChar('\n') : e == QLatin1Char('t') ? QChar('\t') : e;
                    i += 2;
                } else {
                    text += code.at(i++);
                }
            }
            ++i;
            if (HasChinese(text) && !lineOf(start).contains(QLatin1String("QFont")))
                found.push_back({text, QStringLiteral("%1:%2").arg(path).arg(line)});
        } else {
            ++i;
        }
    }
    return found;
}

std::vector<Literal> SourceTexts()
{
    std::vector<Literal> all;
    for (const char* folder : {"src", "tools/imagegen"}) {
        QDirIterator it(QStringLiteral(LUMETRA_SOURCE_DIR "/") + QLatin1String(folder),
                        {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            for (Literal& literal : ChineseLiterals(it.next()))
                all.push_back(std::move(literal));
        }
    }
    return all;
}

// The messages of the .ts by source text; `error` names a file that cannot be read.
std::map<QString, Entry> TsEntries(std::string* error)
{
    QFile file(QStringLiteral(LUMETRA_SOURCE_DIR "/translations/lumetra_en.ts"));
    if (!file.open(QIODevice::ReadOnly)) {
        *error = "cannot read translations/lumetra_en.ts";
        return {};
    }
    std::map<QString, Entry> entries;
    QXmlStreamReader xml(&file);
    QString context, source;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1String("source")) {
            source = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation")) {
            Entry entry;
            entry.type = xml.attributes().value(QLatin1String("type")).toString();
            entry.translation = xml.readElementText();
            if (context != QLatin1String("UiText"))
                entry.type = QStringLiteral("context ") + context;
            entries[source] = entry;
        }
    }
    if (xml.hasError())
        *error = "translations/lumetra_en.ts: " + xml.errorString().toStdString();
    return entries;
}

std::set<QString> Placeholders(const QString& text)
{
    std::set<QString> found;
    const QRegularExpression arg(QStringLiteral("%[0-9]+"));
    for (auto it = arg.globalMatch(text); it.hasNext();)
        found.insert(it.next().captured());
    return found;
}

TEST(TranslationsTest, EverySourceTextHasAFinishedEnglishTranslation)
{
    std::string error;
    const std::map<QString, Entry> entries = TsEntries(&error);
    ASSERT_TRUE(error.empty()) << error;
    const std::vector<Literal> texts = SourceTexts();
    // The scan finds the texts at all (the views, the boxes, the images).
    ASSERT_GT(texts.size(), 80u);

    std::set<QString> used;
    for (const Literal& literal : texts) {
        used.insert(literal.text);
        auto it = entries.find(literal.text);
        if (it == entries.end()) {
            ADD_FAILURE() << literal.where.toStdString() << ": \"" << literal.text.toStdString()
                          << "\" has no entry in translations/lumetra_en.ts (write it as UiText::tr or "
                             "QT_TRANSLATE_NOOP(\"UiText\", ...), run scripts/update-translations and "
                             "translate it)";
        }
    }
    for (const auto& [source, entry] : entries) {
        const std::string name = "\"" + source.toStdString() + "\"";
        EXPECT_TRUE(entry.type.isEmpty()) << name << " is " << entry.type.toStdString();
        EXPECT_FALSE(entry.translation.trimmed().isEmpty()) << name << " has no English";
        EXPECT_FALSE(HasChinese(entry.translation)) << name << " -> " << entry.translation.toStdString();
        EXPECT_EQ(Placeholders(source), Placeholders(entry.translation))
            << name << " -> " << entry.translation.toStdString();
        EXPECT_TRUE(used.count(source) == 1) << name << " is in the .ts but no longer in the sources";
    }
}

TEST(TranslationsTest, TheBuiltTranslationCarriesTheTsAndTextsAreTranslatedWhereShown)
{
    int argc = 1;
    char name[] = "test_translations";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    std::string error;
    const std::map<QString, Entry> entries = TsEntries(&error);
    ASSERT_TRUE(error.empty()) << error;

    // Chinese: every text is shown as written.
    const QString question = QStringLiteral("GW-A001") + QString::fromUtf8("通道已经建立，是否关闭通道？");
    EXPECT_EQ(platform::UiLanguage::Current(), platform::UiLanguage::Language::Chinese);
    EXPECT_EQ(UiText::Translate(question), question);

    // A folder without the file: no translation (the program then shows the sources).
    TempDir empty;
    EXPECT_FALSE(platform::UiLanguage::Install(platform::UiLanguage::Language::English, empty.Path()));

    // The installed layout: <prefix>/bin beside <prefix>/share/lumetra/translations.
    TempDir prefix;
    prefix.MakeDir(QStringLiteral("bin"));
    prefix.Write(QStringLiteral("share/lumetra/translations/lumetra_en.qm"),
                 TempDir::Read(QStringLiteral(LUMETRA_BIN_DIR "/translations/lumetra_en.qm")));
    ASSERT_TRUE(platform::UiLanguage::Install(platform::UiLanguage::Language::English,
                                              prefix.FilePath(QStringLiteral("bin"))));
    EXPECT_EQ(platform::UiLanguage::Current(), platform::UiLanguage::Language::English);

    // The .qm is the .ts of the tree: every entry translates to its English.
    for (const auto& [source, entry] : entries)
        EXPECT_EQ(UiText::tr(source.toUtf8().constData()), entry.translation) << source.toStdString();

    // Where shown: a whole source text, one with a name before it or a detail after
    // it; a message of the service (not a source text) and plain ASCII stay as they are.
    EXPECT_EQ(UiText::Translate(QString::fromUtf8("设备不在线")), QStringLiteral("The device is offline"));
    EXPECT_EQ(UiText::Translate(question), QStringLiteral("GW-A001: a channel is open. Close it?"));
    EXPECT_EQ(UiText::Translate(QString::fromUtf8("找不到串口，请确认是否安装正确 (no socat)")),
              QStringLiteral("No serial port found; check the installation (no socat)"));
    const QString service = QString::fromUtf8("用户名或密码错误");
    EXPECT_EQ(UiText::Translate(service), service);
    const QString mixed = QString::fromUtf8("一号网关设备不在线");
    EXPECT_EQ(UiText::Translate(mixed), mixed); // Chinese outside the source text: not a known message
    EXPECT_EQ(UiText::Translate(QStringLiteral("connecting to 127.0.0.1")),
              QStringLiteral("connecting to 127.0.0.1"));
}

} // namespace
