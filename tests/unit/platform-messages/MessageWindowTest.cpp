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
        WPARAM wParam;
        bool onUiThread;
        std::string text;
    };

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        // With WM_USER + 1, lParam points at the sender's text, valid while it waits.
        calls.push_back({wParam, QThread::currentThread() == QCoreApplication::instance()->thread(),
                         msg == WM_USER + 1 ? *reinterpret_cast<const std::string*>(lParam) : ""});
        if (msg == WM_USER + 2 && forward != nullptr)
            return SendMessage(forward, WM_USER + 3, wParam, 0) + 1;
        return static_cast<LRESULT>(msg + wParam);
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

TEST(SendMessage, DirectOnTheUiThreadAndFromAnotherThreadRunsThereAndWaits)
{
    CountingWindow window;
    EXPECT_TRUE(UiThread::IsCurrent());
    EXPECT_EQ(SendMessage(&window, WM_USER + 1028, 5, 0), WM_USER + 1028 + 5);
    LRESULT result = 0;
    bool workerIsUi = true;
    RunOnWorker([&] {
        workerIsUi = UiThread::IsCurrent();
        const std::string text = "valid while the sender waits";
        result = SendMessage(&window, WM_USER + 1, 0, reinterpret_cast<LPARAM>(&text));
    });
    EXPECT_FALSE(workerIsUi);
    EXPECT_EQ(result, WM_USER + 1);
    ASSERT_EQ(window.calls.size(), 2u);
    EXPECT_TRUE(window.calls[0].onUiThread && window.calls[1].onUiThread);
    EXPECT_EQ(window.calls[1].text, "valid while the sender waits");

    // A null or destroyed window gives zero, from either thread.
    EXPECT_EQ(SendMessage(nullptr, WM_USER + 1, 1, 1), 0);
    CountingWindow* gone = new CountingWindow;
    MessageWindow* stale = gone;
    EXPECT_TRUE(MessageWindow::IsWindow(stale));
    delete gone;
    EXPECT_FALSE(MessageWindow::IsWindow(stale));
    EXPECT_EQ(SendMessage(stale, WM_USER + 1028, 1, 0), 0);
    RunOnWorker([&] { result = SendMessage(stale, WM_USER + 1028, 1, 0); });
    EXPECT_EQ(result, 0);
}

TEST(SendMessage, OrderIsKeptAndANestedSendFromAHandlerDoesNotDeadlock)
{
    CountingWindow inner;
    CountingWindow outer;
    outer.forward = &inner;
    LRESULT nested = 0;
    RunOnWorker([&] {
        for (WPARAM i = 0; i < 500; ++i)
            SendMessage(&inner, WM_USER + 1037, i, 0);
        nested = SendMessage(&outer, WM_USER + 2, 7, 0);
    });
    EXPECT_EQ(nested, WM_USER + 3 + 7 + 1);
    ASSERT_EQ(inner.calls.size(), 501u);
    for (size_t i = 0; i < 500; ++i)
        EXPECT_EQ(inner.calls[i].wParam, i);
    EXPECT_TRUE(inner.calls[500].onUiThread);
}

TEST(MessageBoxes, RecordedWithTextCaptionStyleAndScriptedAnswers)
{
    MessageBoxRecorder recorder;
    CountingWindow owner;
    recorder.Answer(IDYES);
    recorder.Answer(IDNO);
    EXPECT_EQ(MessageBox(&owner, QString::fromUtf8("是否退出Lumetra"), "Lumetra", MB_YESNO), IDYES);
    int fromWorker = 0;
    RunOnWorker([&] { fromWorker = MessageBox(&owner, "second", "", MB_YESNO | MB_ICONQUESTION); });
    EXPECT_EQ(fromWorker, IDNO);
    EXPECT_EQ(AfxMessageBox(QString::fromUtf8("找不到串口，请确认是否安装正确")), IDOK);

    const auto boxes = recorder.Boxes();
    ASSERT_EQ(boxes.size(), 3u);
    const auto box = [&](size_t i) {
        return std::make_tuple(static_cast<const void*>(boxes[i].owner), boxes[i].text.toStdString(),
                               boxes[i].caption.toStdString(), boxes[i].style);
    };
    EXPECT_EQ(box(0),
              std::make_tuple(static_cast<const void*>(&owner), "是否退出Lumetra", "Lumetra", MB_YESNO));
    EXPECT_EQ(box(1),
              std::make_tuple(static_cast<const void*>(&owner), "second", "", MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(box(2), std::make_tuple(nullptr, "找不到串口，请确认是否安装正确", "Lumetra", MB_OK));
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
    EXPECT_EQ(MessageBox(nullptr, "plain", "Lumetra", MB_OK), IDOK);
    EXPECT_EQ(MessageBox(nullptr, "question", "Lumetra", MB_YESNO), IDNO);
    EXPECT_EQ(MessageBox(nullptr, "choice", "Lumetra", MB_OKCANCEL), IDCANCEL);
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
