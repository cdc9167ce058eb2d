#pragma once

#include <memory>

#include "platform/WinTypes.h"

#include <QString>

class QEventLoop;
class QTimer;

namespace platform {

class MessageWindow;

// The waiting dialog shown while a request is outstanding. It carries a text, the
// window to notify and a parameter to hand back. A timed dialog starts timer 1001;
// when it fires before the owner closes the dialog, the dialog kills the timer,
// shows "请求超时", sends WM_REQUEST_TIMEOUT (wParam: the parameter) to the notify
// window and closes itself. The owner may close it at any time with Close.
//
// DoModal waits in a nested event loop, so messages from other threads (replies
// arriving through SendWindowMessage) are handled meanwhile and may close the dialog.
// What the user sees is up to the installed Presenter; without one nothing is
// shown and an untimed dialog, which nobody could close, returns at once.
class TipsDialog
{
public:
    static constexpr MsgCode kTimerId = 1001;
    static constexpr int kDefaultTimeoutMs = 30000;
    static const char* const kTimeoutText; // "请求超时"

    // Shows dialogs on behalf of the UI. Both calls run on the UI thread.
    class Presenter
    {
    public:
        virtual ~Presenter() = default;
        // Puts `dialog` on the screen. Returns whether a window is shown that the
        // user could close (by calling Close on a closable dialog); when false and
        // the dialog is untimed, DoModal returns at once.
        virtual bool Show(TipsDialog& dialog) = 0;
        // Takes `dialog` off the screen again.
        virtual void Hide(TipsDialog& dialog) = 0;
    };

    // Installs the presenter of every dialog from now on and returns the previous
    // one; null shows nothing.
    static Presenter* SetPresenter(Presenter* presenter);

    TipsDialog(bool closable, bool timed, MessageWindow* parent);
    ~TipsDialog();

    TipsDialog(const TipsDialog&) = delete;
    TipsDialog& operator=(const TipsDialog&) = delete;

    void SetText(const QString& text, MessageWindow* notifyWindow, WParam param);
    // The period of timer 1001 (kDefaultTimeoutMs unless changed before DoModal).
    void SetTimeout(int milliseconds);

    // Shows the dialog and returns when it has been closed. Returns kIdOk.
    int DoModal();
    // Kills timer 1001 and closes the dialog (the owner's WM_CLOSE): it leaves the
    // screen at once, before whatever the caller shows next, and DoModal returns once
    // the caller's handler has. Harmless when the dialog is not shown.
    void Close();

    bool IsOpen() const { return open_; }
    bool IsClosable() const { return closable_; }
    bool IsTimed() const { return timed_; }
    const QString& Text() const { return text_; }
    MessageWindow* Parent() const { return parent_; }
    MessageWindow* NotifyWindow() const { return notifyWindow_; }
    WParam Param() const { return param_; }
    int Timeout() const { return timeoutMs_; }

private:
    void OnTimer();
    // Takes the dialog off the screen (the presenter's Hide) if it is on it.
    void HideNow();

    bool closable_ = false;
    bool timed_ = false;
    MessageWindow* parent_ = nullptr;
    QString text_;
    MessageWindow* notifyWindow_ = nullptr;
    WParam param_ = 0;
    int timeoutMs_ = kDefaultTimeoutMs;
    bool open_ = false;
    bool closeRequested_ = false;
    std::unique_ptr<QTimer> timer_;
    QEventLoop* loop_ = nullptr;
    // The presenter that shows the dialog now, or null.
    Presenter* shownBy_ = nullptr;
};

} // namespace platform
