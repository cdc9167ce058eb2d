#include "gui/i18n/TextFitRecorder.h"

#include "platform/TextFit.h"

#include <QLoggingCategory>

#include <cstring>

namespace {

QStringList g_warnings;
QtMessageHandler g_previous = nullptr;

void Record(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (context.category != nullptr && std::strcmp(context.category, platform::TextFit::kCategory) == 0) {
        g_warnings << message;
        return;
    }
    if (g_previous != nullptr)
        g_previous(type, context, message);
}

} // namespace

TextFitRecorder::TextFitRecorder()
{
    g_warnings.clear();
    QLoggingCategory::setFilterRules(QStringLiteral("lumetra.textfit.warning=true"));
    g_previous = qInstallMessageHandler(Record);
}

TextFitRecorder::~TextFitRecorder()
{
    qInstallMessageHandler(g_previous);
    QLoggingCategory::setFilterRules(QString());
}

const QStringList& TextFitRecorder::Warnings() const
{
    return g_warnings;
}

void TextFitRecorder::Clear()
{
    g_warnings.clear();
}
