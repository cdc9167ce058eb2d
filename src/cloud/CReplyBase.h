#pragma once

#include <QString>

// The part every service reply record starts with.
struct CReplyBase
{
    static QString DefaultMessage() { return QString::fromUtf8(QT_TRANSLATE_NOOP("UiText", "调用失败")); }

    QString msg = DefaultMessage(); // "msg" when present and not null
    int flag = 0;                   // "flag"; 0 means failure
};
