#include "app/UiText.h"

#include "platform/UiLanguage.h"

namespace {

bool HasChinese(const QString& text, qsizetype from, qsizetype to)
{
    for (qsizetype i = from; i < to; ++i) {
        const char16_t c = text.at(i).unicode();
        if ((c >= 0x3000 && c <= 0x9fff) || (c >= 0xff00 && c <= 0xffef))
            return true;
    }
    return false;
}

// The translation of `text` when it is a source text, else a null string.
QString Known(const QString& text)
{
    const QByteArray source = text.toUtf8();
    const QString translated = UiText::tr(source.constData());
    return translated != text ? translated : QString();
}

} // namespace

QString UiText::Translate(const QString& text)
{
    if (platform::UiLanguage::Current() == platform::UiLanguage::Language::Chinese || text.isEmpty() ||
        !HasChinese(text, 0, text.size()))
        return text;
    const QString whole = Known(text);
    if (!whole.isNull())
        return whole;
    // The longest source text at the start or at the end of `text`.
    const qsizetype n = text.size();
    for (qsizetype cut = 1; cut < n; ++cut) {
        if (!HasChinese(text, 0, cut)) {
            const QString tail = Known(text.mid(cut));
            if (!tail.isNull())
                return text.left(cut) + tail;
        }
        if (!HasChinese(text, n - cut, n)) {
            const QString head = Known(text.left(n - cut));
            if (!head.isNull())
                return head + text.right(cut);
        }
    }
    return text;
}
