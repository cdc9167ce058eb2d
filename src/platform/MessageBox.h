#pragma once

#include <QString>

class MessageBoxHandler;
class MessageWindow;

// Styles (the low four bits choose the buttons; icons are separate bits).
constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_OKCANCEL = 0x1;
constexpr unsigned MB_YESNOCANCEL = 0x3;
constexpr unsigned MB_YESNO = 0x4;
constexpr unsigned MB_TYPEMASK = 0xF;
constexpr unsigned MB_ICONERROR = 0x10;
constexpr unsigned MB_ICONQUESTION = 0x20;
constexpr unsigned MB_ICONWARNING = 0x30;
constexpr unsigned MB_ICONINFORMATION = 0x40;

// Answers.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Caption of the boxes shown without one of their own (AfxMessageBox).
extern const char* const kDefaultMessageBoxCaption;

// Installs the handler that shows every message box from now on and returns the
// one it replaces. Null restores the built-in behaviour: the text goes to standard
// error and the box answers IDOK for an OK box, otherwise its negative answer
// (IDCANCEL when there is a Cancel button, else IDNO).
MessageBoxHandler* SetMessageBoxHandler(MessageBoxHandler* handler);

// A modal message box owned by `owner` (may be null). From a thread other than the
// UI thread the box is shown on the UI thread and the caller waits for the answer.
int MessageBox(MessageWindow* owner, const QString& text, const QString& caption, unsigned style);

// A message box of the application, captioned kDefaultMessageBoxCaption.
int AfxMessageBox(const QString& text, unsigned style = MB_OK);
