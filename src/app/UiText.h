#pragma once

#include <QCoreApplication>
#include <QString>

// The program's user-visible texts. Their Chinese source texts are written either as
// UiText::tr("...") where they are shown, or as QT_TRANSLATE_NOOP("UiText", "...")
// where they are kept as constants, so that lupdate finds every one of them under
// the one context "UiText" (scripts/update-translations). They are translated where
// they are shown (a box, a view, a printed line), never on the wire or in files.
class UiText
{
    Q_DECLARE_TR_FUNCTIONS(UiText)

public:
    // `text` in the program's language. A text that is not a source text itself but
    // one source text with names or numbers before or after it (no Chinese
    // character outside it), like "<gateway>通道已经建立，是否关闭通道？", has that
    // part translated; any other text (a message of the service) is returned as is.
    static QString Translate(const QString& text);
};
