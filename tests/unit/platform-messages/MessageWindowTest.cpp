// Message windows and message boxes across threads: the main thread of this test
// program is the UI thread (it owns the application object and runs its events).

#include "platform/MessageWindow.h"
#include "platform/MessageBox.h"
#include "platform/OffUiThread.h"
#include "platform/UiThread.h"
#include "platform/WindowMessages.h"
#include "support/MessageBoxRecorder.h"
#include "support/PumpUntil.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

// Records each message with the thread it ran on and answers msg + wParam; the
// records are read after the sending thread has been joined.
class CountingWindow : public platform::MessageWindow
{
public:
    struct Call
    {
        platform::WParam wParam;
        bool onUiThread;
        std::string text;
    };

    platform::LResult WindowProc(platform::MsgCode msg, platform::WParam wParam,
                                 platform::LParam lParam) override
    {
        // With kWmUser + 1, lParam points at the sender's text, valid while it waits.
        calls.push_back({wParam, QThread::currentThread() == QCoreApplication::instance()->thread(),
                         msg == platform::kWmUser + 1 ? *reinterpret_cast<const std::string*>(lParam) : ""});
        if (msg == platform::kWmUser + 2 && forward != nullptr)
            return platform::SendWindowMessage(forward, platform::kWmUser + 3, wParam, 0) + 1;
        return static_cast<platform::LResult>(msg + wParam);
    }

    platform::MessageWindow* forward = nullptr;
    std::vector<Call> calls;
};

// Runs `work` on a new thread while the UI thread keeps handling events.
template <typename Work> void RunOnWorker(Work work)
{
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work();
        done = true;
    });
    const bool finished = PumpUntil([&] { return done.load(); }, 20000);
    worker.join();
    ASSERT_TRUE(finished);
}

TEST(SendWindowMessage, DirectOnTheUiThreadAndFromAnotherThreadRunsThereAndWaits)
{
    CountingWindow window;
    EXPECT_TRUE(platform::UiThread::IsCurrent());
    EXPECT_EQ(platform::SendWindowMessage(&window, platform::kWmUser + 1028, 5, 0),
              platform::kWmUser + 1028 + 5);
    platform::LResult result = 0;
    bool workerIsUi = true;
    RunOnWorker([&] {
        workerIsUi = platform::UiThread::IsCurrent();
        const std::string text = "valid while the sender waits";
        result = platform::SendWindowMessage(&window, platform::kWmUser + 1, 0,
                                             reinterpret_cast<platform::LParam>(&text));
    });
    EXPECT_FALSE(workerIsUi);
    EXPECT_EQ(result, platform::kWmUser + 1);
    ASSERT_EQ(window.calls.size(), 2u);
    EXPECT_TRUE(window.calls[0].onUiThread && window.calls[1].onUiThread);
    EXPECT_EQ(window.calls[1].text, "valid while the sender waits");

    // A null or destroyed window gives zero, from either thread.
    EXPECT_EQ(platform::SendWindowMessage(nullptr, platform::kWmUser + 1, 1, 1), 0);
    CountingWindow* gone = new CountingWindow;
    platform::MessageWindow* stale = gone;
    EXPECT_TRUE(platform::MessageWindow::IsWindow(stale));
    delete gone;
    EXPECT_FALSE(platform::MessageWindow::IsWindow(stale));
    EXPECT_EQ(platform::SendWindowMessage(stale, platform::kWmUser + 1028, 1, 0), 0);
    RunOnWorker([&] { result = platform::SendWindowMessage(stale, platform::kWmUser + 1028, 1, 0); });
    EXPECT_EQ(result, 0);
}

TEST(SendWindowMessage, OrderIsKeptAndANestedSendFromAHandlerDoesNotDeadlock)
{
    CountingWindow inner;
    CountingWindow outer;
    outer.forward = &inner;
    platform::LResult nested = 0;
    RunOnWorker([&] {
        for (platform::WParam i = 0; i < 500; ++i)
            platform::SendWindowMessage(&inner, platform::kWmUser + 1037, i, 0);
        nested = platform::SendWindowMessage(&outer, platform::kWmUser + 2, 7, 0);
    });
    EXPECT_EQ(nested, platform::kWmUser + 3 + 7 + 1);
    ASSERT_EQ(inner.calls.size(), 501u);
    for (size_t i = 0; i < 500; ++i)
        EXPECT_EQ(inner.calls[i].wParam, i);
    EXPECT_TRUE(inner.calls[500].onUiThread);
}

TEST(UiThreadPost, SenderNeverWaitsAndPostedWorkRunsInOrderWithWaitingCalls)
{
    std::vector<int> ran;
    std::atomic<bool> posted{false};
    RunOnWorker([&] {
        platform::UiThread::Post([&] { ran.push_back(1); });
        platform::UiThread::Run([&] { ran.push_back(2); });
        // The UI thread is busy in PumpUntil's loop, not in our work: Post returns
        // before its work has run.
        platform::UiThread::Post([&] { ran.push_back(3); });
        posted = true;
    });
    EXPECT_TRUE(posted);
    EXPECT_TRUE(PumpUntil([&] { return ran.size() == 3; }, 5000));
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
    // Posted on the UI thread: queued, never run inside the caller.
    platform::UiThread::Post([&] { ran.push_back(4); });
    EXPECT_EQ(ran.size(), 3u);
    EXPECT_TRUE(PumpUntil([&] { return ran.size() == 4; }, 5000));
}

// Counts the begin and end of each wait.
class CountingIndicator : public platform::BusyIndicator
{
public:
    void Begin() override { ++begun; }
    void End() override { ++ended; }
    int begun = 0;
    int ended = 0;
};

// Counts the events of one kind that reach it.
class EventCounter : public QObject
{
public:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::MouseButtonPress)
            ++presses;
        return QObject::event(e);
    }
    int presses = 0;
};

TEST(RunOffUiThread, EventLoopRunsInputIsDroppedAndQueuedCallsWaitForTheWork)
{
    CountingIndicator indicator;
    platform::BusyIndicator* previous = platform::SetBusyIndicator(&indicator);
    EventCounter target;
    std::atomic<bool> timerFired{false};
    std::vector<std::string> order;
    bool workOnUi = true;
    // The work only finishes once a timer of the UI thread has fired: it proves that
    // the UI thread's event loop runs while it waits.
    QTimer::singleShot(20, [&] {
        timerFired = true;
        QCoreApplication::postEvent(&target, new QEvent(QEvent::MouseButtonPress));
    });
    platform::RunOffUiThread([&] {
        workOnUi = platform::UiThread::IsCurrent();
        platform::UiThread::Post([&] { order.push_back("posted during the work"); });
        for (int i = 0; i < 2000 && !timerFired; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        order.push_back("work done");
    });
    EXPECT_FALSE(workOnUi);
    EXPECT_TRUE(timerFired);
    EXPECT_EQ(indicator.begun, 1);
    EXPECT_EQ(indicator.ended, 1);
    EXPECT_TRUE(PumpUntil([&] { return order.size() == 2; }, 5000));
    EXPECT_EQ(order, (std::vector<std::string>{"work done", "posted during the work"}));
    EXPECT_EQ(target.presses, 0) << "input that arrived during the wait is dropped";
    // After the wait input reaches its target again.
    QCoreApplication::postEvent(&target, new QEvent(QEvent::MouseButtonPress));
    EXPECT_TRUE(PumpUntil([&] { return target.presses == 1; }, 5000));
    platform::SetBusyIndicator(previous);
}

TEST(MessageBoxes, RecordedWithTextCaptionStyleAndScriptedAnswers)
{
    MessageBoxRecorder recorder;
    CountingWindow owner;
    recorder.Answer(platform::kIdYes);
    recorder.Answer(platform::kIdNo);
    EXPECT_EQ(
        platform::ShowMessageBox(&owner, QString::fromUtf8("是否退出Lumetra"), "Lumetra", platform::kMbYesNo),
        platform::kIdYes);
    int fromWorker = 0;
    RunOnWorker([&] {
        fromWorker =
            platform::ShowMessageBox(&owner, "second", "", platform::kMbYesNo | platform::kMbIconQuestion);
    });
    EXPECT_EQ(fromWorker, platform::kIdNo);
    EXPECT_EQ(platform::AfxMessageBox(QString::fromUtf8("找不到串口，请确认是否安装正确")), platform::kIdOk);

    const auto boxes = recorder.Boxes();
    ASSERT_EQ(boxes.size(), 3u);
    const auto box = [&](size_t i) {
        return std::make_tuple(static_cast<const void*>(boxes[i].owner), boxes[i].text.toStdString(),
                               boxes[i].caption.toStdString(), boxes[i].style);
    };
    EXPECT_EQ(box(0), std::make_tuple(static_cast<const void*>(&owner), "是否退出Lumetra", "Lumetra",
                                      platform::kMbYesNo));
    EXPECT_EQ(box(1), std::make_tuple(static_cast<const void*>(&owner), "second", "",
                                      platform::kMbYesNo | platform::kMbIconQuestion));
    EXPECT_EQ(box(2), std::make_tuple(nullptr, "找不到串口，请确认是否安装正确", "Lumetra", platform::kMbOk));
    EXPECT_TRUE(boxes[1].onUiThread);
    {
        MessageBoxRecorder inner;
        platform::AfxMessageBox("to the inner one");
        EXPECT_EQ(inner.Count(), 1u);
    }
    platform::AfxMessageBox("to the outer one, restored");
    ASSERT_EQ(recorder.Count(), 4u);
    EXPECT_EQ(recorder.Boxes()[3].text, "to the outer one, restored");
}

TEST(MessageBoxes, WithoutHandlerTheTextGoesToStandardErrorAndTheSafeAnswerIsGiven)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(platform::ShowMessageBox(nullptr, "plain", "Lumetra", platform::kMbOk), platform::kIdOk);
    EXPECT_EQ(platform::ShowMessageBox(nullptr, "question", "Lumetra", platform::kMbYesNo), platform::kIdNo);
    EXPECT_EQ(platform::ShowMessageBox(nullptr, "choice", "Lumetra", platform::kMbOkCancel),
              platform::kIdCancel);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "[Lumetra] plain\n[Lumetra] question\n[Lumetra] choice\n");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
