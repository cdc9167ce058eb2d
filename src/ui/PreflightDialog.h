#pragma once

#include "control/PreflightResult.h"

#include <QDialog>
#include <QString>

#include <vector>

class Installation;
class QPlainTextEdit;

// The window's "连接诊断": runs the pre-flight check (PreflightCheck, the same report
// as "lumetra-cli doctor") off the UI thread with the busy cursor, then shows its
// lines in a small dialog of their own, which the user closes.
class PreflightDialog : public QDialog
{
public:
    static constexpr const char* kTitle = QT_TRANSLATE_NOOP("UiText", "连接诊断");

    // The report of `results` (one line per check and the summary).
    PreflightDialog(QWidget* parent, const std::vector<PreflightResult>& results);

    // Runs the check with the installation's last successful login and shows the
    // dialog, non-modal, deleted when closed; returns it once shown.
    static PreflightDialog* RunAndShow(QWidget* parent, const Installation& installation);

    QString Report() const;
    bool Passed() const { return passed_; }

private:
    QPlainTextEdit* text_ = nullptr;
    bool passed_ = false;
};
