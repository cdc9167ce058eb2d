// Message windows and message boxes across threads: the main thread of this test
// program is the UI thread (it owns the application object and runs its events).

#include "platform/MessageWindow.h"
#include "platform/MessageBox.h"
#include "platform/UiThread.h"
#include "platform/WindowMessages.h"
#include "support/MessageBoxRecorder.h"
#include "support/PumpUntil.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

// Records each message with the thread it ran on and answers msg + wParam; the
// records are read after the sending thread has been joined.
class CountingWindow : public MessageWindow
{
public:
    struct Call
    {
        WParam wParam;
        bool onUiThread;
        std::string text;
    };

    LResult WindowProc(MsgCode msg, WParam wParam, LParam lParam) override
    {
        // With kWmUser + 1, lParam points at the sender's text, valid while it waits.
        calls.push_back({wParam, QThread::currentThread() == QCoreApplication::instance()->thread(),
                         msg == kWmUser + 1 ? *reinterpret_cast<const std::string*>(lParam) : ""});
        if (msg == kWmUser + 2 && forward != nullptr)
            return SendWindowMessage(forward, kWmUser + 3, wParam, 0) + 1;
        return static_cast<LResult>(msg + wParam);
    }

    MessageWindow* forward = nullptr;
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
    EXPECT_TRUE(UiThread::IsCurrent());
    EXPECT_EQ(SendWindowMessage(&window, kWmUser + 1028, 5, 0), kWmUser + 1028 + 5);
    LResult result = 0;
    bool workerIsUi = true;
    RunOnWorker([&] {
        workerIsUi = UiThread::IsCurrent();
        const std::string text = "valid while the sender waits";
        result = SendWindowMessage(&window, kWmUser + 1, 0, reinterpret_cast<LParam>(&text));
    });
    EXPECT_FALSE(workerIsUi);
    EXPECT_EQ(result, kWmUser + 1);
    ASSERT_EQ(window.calls.size(), 2u);
    EXPECT_TRUE(window.calls[0].onUiThread && window.calls[1].onUiThread);
    EXPECT_EQ(window.calls[1].text, "valid while the sender waits");

    // A null or destroyed window gives zero, from either thread.
    EXPECT_EQ(SendWindowMessage(nullptr, kWmUser + 1, 1, 1), 0);
    CountingWindow* gone = new CountingWindow;
    MessageWindow* stale = gone;
    EXPECT_TRUE(MessageWindow::IsWindow(stale));
    delete gone;
    EXPECT_FALSE(MessageWindow::IsWindow(stale));
    EXPECT_EQ(SendWindowMessage(stale, kWmUser + 1028, 1, 0), 0);
    RunOnWorker([&] { result = SendWindowMessage(stale, kWmUser + 1028, 1, 0); });
    EXPECT_EQ(result, 0);
}

TEST(SendWindowMessage, OrderIsKeptAndANestedSendFromAHandlerDoesNotDeadlock)
{
    CountingWindow inner;
    CountingWindow outer;
    outer.forward = &inner;
    LResult nested = 0;
    RunOnWorker([&] {
        for (WParam i = 0; i < 500; ++i)
            SendWindowMessage(&inner, kWmUser + 1037, i, 0);
        nested = SendWindowMessage(&outer, kWmUser + 2, 7, 0);
    });
    EXPECT_EQ(nested, kWmUser + 3 + 7 + 1);
    ASSERT_EQ(inner.calls.size(), 501u);
    for (size_t i = 0; i < 500; ++i)
        EXPECT_EQ(inner.calls[i].wParam, i);
    EXPECT_TRUE(inner.calls[500].onUiThread);
}

TEST(MessageBoxes, RecordedWithTextCaptionStyleAndScriptedAnswers)
{
    MessageBoxRecorder recorder;
    CountingWindow owner;
    recorder.Answer(kIdYes);
    recorder.Answer(kIdNo);
    EXPECT_EQ(ShowMessageBox(&owner, QString::fromUtf8("是否退出Lumetra"), "Lumetra", kMbYesNo), kIdYes);
    int fromWorker = 0;
    RunOnWorker([&] { fromWorker = ShowMessageBox(&owner, "second", "", kMbYesNo | kMbIconQuestion); });
    EXPECT_EQ(fromWorker, kIdNo);
    EXPECT_EQ(AfxMessageBox(QString::fromUtf8("找不到串口，请确认是否安装正确")), kIdOk);

    const auto boxes = recorder.Boxes();
    ASSERT_EQ(boxes.size(), 3u);
    const auto box = [&](size_t i) {
        return std::make_tuple(static_cast<const void*>(boxes[i].owner), boxes[i].text.toStdString(),
                               boxes[i].caption.toStdString(), boxes[i].style);
    };
    EXPECT_EQ(box(0),
              std::make_tuple(static_cast<const void*>(&owner), "是否退出Lumetra", "Lumetra", kMbYesNo));
    EXPECT_EQ(box(1),
              std::make_tuple(static_cast<const void*>(&owner), "second", "", kMbYesNo | kMbIconQuestion));
    EXPECT_EQ(box(2), std::make_tuple(nullptr, "找不到串口，请确认是否安装正确", "Lumetra", kMbOk));
    EXPECT_TRUE(boxes[1].onUiThread);
    {
        MessageBoxRecorder inner;
        AfxMessageBox("to the inner one");
        EXPECT_EQ(inner.Count(), 1u);
    }
    AfxMessageBox("to the outer one, restored");
    ASSERT_EQ(recorder.Count(), 4u);
    EXPECT_EQ(recorder.Boxes()[3].text, "to the outer one, restored");
}

TEST(MessageBoxes, WithoutHandlerTheTextGoesToStandardErrorAndTheSafeAnswerIsGiven)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(ShowMessageBox(nullptr, "plain", "Lumetra", kMbOk), kIdOk);
    EXPECT_EQ(ShowMessageBox(nullptr, "question", "Lumetra", kMbYesNo), kIdNo);
    EXPECT_EQ(ShowMessageBox(nullptr, "choice", "Lumetra", kMbOkCancel), kIdCancel);
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
