#include "support/MessageBoxRecorder.h"

#include "platform/MessageBox.h"
#include "platform/UiThread.h"

MessageBoxRecorder::MessageBoxRecorder()
{
    previous_ = platform::SetMessageBoxHandler(this);
}

MessageBoxRecorder::~MessageBoxRecorder()
{
    platform::SetMessageBoxHandler(previous_);
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

int MessageBoxRecorder::Show(platform::MessageWindow* owner, const QString& text, const QString& caption,
                             unsigned style)
{
    std::lock_guard<std::mutex> guard(lock_);
    boxes_.push_back(Box{owner, text, caption, style, platform::UiThread::IsCurrent()});
    if (!script_.empty()) {
        const int answer = script_.front();
        script_.pop_front();
        return answer;
    }
    return (style & platform::kMbTypeMask) == platform::kMbOk ? platform::kIdOk : platform::kIdNo;
}
