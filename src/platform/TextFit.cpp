#include "platform/TextFit.h"

#include <QLoggingCategory>

namespace platform {

const char* const TextFit::kCategory = "lumetra.textfit";

namespace {

Q_LOGGING_CATEGORY(textFitLog, TextFit::kCategory, QtCriticalMsg)

} // namespace

bool TextFit::Enabled()
{
    return textFitLog().isWarningEnabled();
}

void TextFit::Check(const QString& text, double width, double room)
{
    // Half a pixel of slack: widths are measured in fractions of a pixel.
    if (width > room + 0.5)
        qCWarning(textFitLog).noquote()
            << "text wider than its place:" << text << "needs" << width << "pixels, has" << room;
}

} // namespace platform
