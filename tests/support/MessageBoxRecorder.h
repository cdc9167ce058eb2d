#pragma once

#include "platform/MessageBoxHandler.h"

#include <QString>

#include <deque>
#include <mutex>
#include <vector>

// Replaces the program's message boxes for a test: every box is recorded (owner,
// text, caption, style, whether it was shown on the UI thread) and answered at once
// from a script of answers, so no test ever waits on a modal window. Installed while
// the object lives; the handler it replaced comes back when it goes.
class MessageBoxRecorder : public platform::MessageBoxHandler
{
public:
    struct Box
    {
        platform::MessageWindow* owner = nullptr;
        QString text;
        QString caption;
        unsigned style = 0;
        bool onUiThread = false;
    };

    MessageBoxRecorder();
    ~MessageBoxRecorder() override;

    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    // Queues the answer of the next box (kIdOk, kIdYes, kIdNo, ...). Boxes beyond the
    // script get kIdOk for an OK box, otherwise kIdNo.
    void Answer(int answer);

    std::vector<Box> Boxes() const;
    size_t Count() const;

    int Show(platform::MessageWindow* owner, const QString& text, const QString& caption,
             unsigned style) override;

private:
    mutable std::mutex lock_;
    std::deque<int> script_;
    std::vector<Box> boxes_;
    platform::MessageBoxHandler* previous_ = nullptr;
};
