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
