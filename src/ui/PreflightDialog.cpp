#include "ui/PreflightDialog.h"

#include "app/UiText.h"

#include "control/LoginFlow.h"
#include "control/PreflightCheck.h"
#include "platform/OffUiThread.h"
#include "platform/TextCodec.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

PreflightDialog::PreflightDialog(QWidget* parent, const std::vector<PreflightResult>& results)
    : QDialog(parent), passed_(PreflightCheck::Passed(results))
{
    setObjectName(QStringLiteral("PreflightDialog"));
    setWindowTitle(UiText::tr(kTitle));
    auto* layout = new QVBoxLayout(this);
    auto* summary = new QLabel(QString::fromStdString("doctor: " + PreflightCheck::Summary(results)), this);
    summary->setWordWrap(true);
    layout->addWidget(summary);
    text_ = new QPlainTextEdit(this);
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    QString lines;
    for (const PreflightResult& result : results)
        lines += UiText::Translate(QString::fromStdString(PreflightCheck::Line(result))) + "\n";
    text_->setPlainText(lines);
    layout->addWidget(text_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(UiText::tr("关闭"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(760, 420);
}

QString PreflightDialog::Report() const
{
    return text_->toPlainText();
}

PreflightDialog* PreflightDialog::RunAndShow(QWidget* parent, const Installation& installation)
{
    QString user;
    QString password;
    LoginFlow::LastLogin(installation, &user, &password);
    PreflightCheck check(installation, PreflightCheck::Account{platform::TextCodec::WideToLocal(user),
                                                               platform::TextCodec::WideToLocal(password)});
    std::vector<PreflightResult> results;
    // At most PreflightCheck::kTotalMs; the window keeps painting meanwhile.
    platform::RunOffUiThread([&check, &results] { results = check.Run(); });
    auto* dialog = new PreflightDialog(parent, results);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    return dialog;
}
