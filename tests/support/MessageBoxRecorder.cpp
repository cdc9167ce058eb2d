#include "support/MessageBoxRecorder.h"

#include "platform/MessageBox.h"
#include "platform/UiThread.h"

MessageBoxRecorder::MessageBoxRecorder()
{
    previous_ = SetMessageBoxHandler(this);
}

MessageBoxRecorder::~MessageBoxRecorder()
{
    SetMessageBoxHandler(previous_);
}

void MessageBoxRecorder::Answer(int answer)
{
    std::lock_guard<std::mutex> guard(lock_);
    script_.push_back(answer);
}

std::vector<MessageBoxRecorder::Box> MessageBoxRecorder::Boxes() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return boxes_;
}

size_t MessageBoxRecorder::Count() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return boxes_.size();
}

int MessageBoxRecorder::Show(MessageWindow* owner, const QString& text, const QString& caption,
                             unsigned style)
{
    std::lock_guard<std::mutex> guard(lock_);
    boxes_.push_back(Box{owner, text, caption, style, UiThread::IsCurrent()});
    if (!script_.empty()) {
        const int answer = script_.front();
        script_.pop_front();
        return answer;
    }
    return (style & kMbTypeMask) == kMbOk ? kIdOk : kIdNo;
}
