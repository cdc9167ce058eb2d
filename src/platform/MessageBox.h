#pragma once

#include <QString>

namespace platform {

class MessageBoxHandler;
class MessageWindow;

// Styles (the low four bits choose the buttons; icons are separate bits).
constexpr unsigned kMbOk = 0x0;
constexpr unsigned kMbOkCancel = 0x1;
constexpr unsigned kMbYesNoCancel = 0x3;
constexpr unsigned kMbYesNo = 0x4;
constexpr unsigned kMbTypeMask = 0xF;
constexpr unsigned kMbIconError = 0x10;
constexpr unsigned kMbIconQuestion = 0x20;
constexpr unsigned kMbIconWarning = 0x30;
constexpr unsigned kMbIconInformation = 0x40;

// Answers.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

// Caption of the boxes shown without one of their own (AfxMessageBox).
extern const char* const kDefaultMessageBoxCaption;

// Installs the handler that shows every message box from now on and returns the
// one it replaces. Null restores the built-in behaviour: the text goes to standard
// error and the box answers kIdOk for an OK box, otherwise its negative answer
// (kIdCancel when there is a Cancel button, else kIdNo).
MessageBoxHandler* SetMessageBoxHandler(MessageBoxHandler* handler);

// The answer of a box nobody can click: kIdOk for an OK box, otherwise its negative
// answer (kIdCancel when there is a Cancel button, else kIdNo).
int UnattendedAnswer(unsigned style);

// A modal message box owned by `owner` (may be null). From a thread other than the
// UI thread the box is shown on the UI thread and the caller waits for the answer.
int ShowMessageBox(MessageWindow* owner, const QString& text, const QString& caption, unsigned style);

// A message box of the application, captioned kDefaultMessageBoxCaption.
int AfxMessageBox(const QString& text, unsigned style = kMbOk);

} // namespace platform
