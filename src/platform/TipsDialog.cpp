#include "platform/TipsDialog.h"

#include "platform/MessageBox.h"
#include "platform/MessageWindow.h"
#include "platform/WindowMessages.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <atomic>

namespace platform {

const char* const TipsDialog::kTimeoutText = QT_TRANSLATE_NOOP("UiText", "请求超时");

namespace {

std::atomic<TipsDialog::Presenter*> g_presenter{nullptr};

} // namespace

TipsDialog::Presenter* TipsDialog::SetPresenter(Presenter* presenter)
{
    return g_presenter.exchange(presenter);
}

TipsDialog::TipsDialog(bool closable, bool timed, MessageWindow* parent)
    : closable_(closable), timed_(timed), parent_(parent)
{
}

TipsDialog::~TipsDialog() {}

void TipsDialog::SetText(const QString& text, MessageWindow* notifyWindow, WParam param)
{
    text_ = text;
    notifyWindow_ = notifyWindow;
    param_ = param;
}

void TipsDialog::SetTimeout(int milliseconds)
{
    timeoutMs_ = milliseconds;
}

int TipsDialog::DoModal()
{
    open_ = true;
    closeRequested_ = false;
    Presenter* presenter = g_presenter.load();
    const bool shown = presenter != nullptr && presenter->Show(*this);
    shownBy_ = presenter;
    if (timed_ && QCoreApplication::instance() != nullptr) {
        if (timer_ == nullptr) {
            timer_ = std::make_unique<QTimer>();
            timer_->setSingleShot(true);
            QObject::connect(timer_.get(), &QTimer::timeout, [this] { OnTimer(); });
        }
        timer_->start(timeoutMs_);
    }
    if ((timed_ || shown) && !closeRequested_ && QCoreApplication::instance() != nullptr) {
        QEventLoop loop;
        loop_ = &loop;
        loop.exec();
        loop_ = nullptr;
    }
    if (timer_ != nullptr) {
        timer_->stop();
    }
    HideNow();
    open_ = false;
    return kIdOk;
}

void TipsDialog::Close()
{
    if (timer_ != nullptr) {
        timer_->stop();
    }
    closeRequested_ = true;
    if (loop_ != nullptr) {
        loop_->quit();
    }
    HideNow();
}

void TipsDialog::HideNow()
{
    if (Presenter* presenter = shownBy_) {
        shownBy_ = nullptr;
        presenter->Hide(*this);
    }
}

void TipsDialog::OnTimer()
{
    timer_->stop();
    // The time-out's box opens with the dialog off the screen.
    HideNow();
    ShowMessageBox(parent_, QString::fromUtf8(kTimeoutText), QString::fromUtf8(kDefaultMessageBoxCaption),
                   kMbOk);
    SendWindowMessage(notifyWindow_, WM_REQUEST_TIMEOUT, param_, 0);
    Close();
}

} // namespace platform
