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
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// Records each message with the thread it ran on and answers msg + wParam.
class CountingWindow : public MessageWindow
{
public:
    struct Call
    {
        UINT msg;
        WPARAM wParam;
        LPARAM lParam;
        bool onUiThread;
        std::string text;
    };

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        Call call{
            msg, wParam, lParam, QThread::currentThread() == QCoreApplication::instance()->thread(), {}};
        if (msg == WM_USER + 1) {
            // lParam points at the sender's text, valid while the sender waits.
            call.text = *reinterpret_cast<const std::string*>(lParam);
        }
        std::lock_guard<std::mutex> guard(lock);
        calls.push_back(call);
        if (msg == WM_USER + 2 && forward != nullptr) {
            return SendMessage(forward, WM_USER + 3, wParam, 0) + 1;
        }
        return static_cast<LRESULT>(msg + wParam);
    }

    std::vector<Call> Calls()
    {
        std::lock_guard<std::mutex> guard(lock);
        return calls;
    }

    MessageWindow* forward = nullptr;
    std::mutex lock;
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

TEST(SendMessage, OnTheUiThreadCallsDirectly)
{
    CountingWindow window;
    EXPECT_TRUE(UiThread::IsCurrent());
    EXPECT_EQ(SendMessage(&window, WM_USER + 1028, 5, 0), WM_USER + 1028 + 5);
    const auto calls = window.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(calls[0].onUiThread);
}

TEST(SendMessage, FromAnotherThreadRunsOnTheUiThreadAndWaits)
{
    CountingWindow window;
    LRESULT result = 0;
    bool workerIsUi = true;
    RunOnWorker([&] {
        workerIsUi = UiThread::IsCurrent();
        const std::string text = "valid while the sender waits";
        result = SendMessage(&window, WM_USER + 1, 0, reinterpret_cast<LPARAM>(&text));
    });
    EXPECT_FALSE(workerIsUi);
    EXPECT_EQ(result, WM_USER + 1);
    const auto calls = window.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(calls[0].onUiThread);
    EXPECT_EQ(calls[0].text, "valid while the sender waits");
}

TEST(SendMessage, MessagesFromOneThreadKeepTheirOrder)
{
    CountingWindow window;
    RunOnWorker([&] {
        for (WPARAM i = 0; i < 500; ++i) {
            SendMessage(&window, WM_USER + 1037, i, 0);
        }
    });
    const auto calls = window.Calls();
    ASSERT_EQ(calls.size(), 500u);
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].wParam, i);
    }
}

TEST(SendMessage, NestedSendFromAHandlerDoesNotDeadlock)
{
    CountingWindow inner;
    CountingWindow outer;
    outer.forward = &inner;
    LRESULT result = 0;
    RunOnWorker([&] { result = SendMessage(&outer, WM_USER + 2, 7, 0); });
    EXPECT_EQ(result, WM_USER + 3 + 7 + 1);
    ASSERT_EQ(inner.Calls().size(), 1u);
    EXPECT_TRUE(inner.Calls()[0].onUiThread);
}

TEST(SendMessage, NullOrDestroyedWindowGivesZero)
{
    EXPECT_EQ(SendMessage(nullptr, WM_USER + 1, 1, 1), 0);
    CountingWindow* window = new CountingWindow;
    MessageWindow* stale = window;
    EXPECT_TRUE(MessageWindow::IsWindow(stale));
    delete window;
    EXPECT_FALSE(MessageWindow::IsWindow(stale));
    EXPECT_EQ(SendMessage(stale, WM_USER + 1028, 1, 0), 0);
    LRESULT fromWorker = -1;
    RunOnWorker([&] { fromWorker = SendMessage(stale, WM_USER + 1028, 1, 0); });
    EXPECT_EQ(fromWorker, 0);
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
    EXPECT_EQ(boxes[0].owner, &owner);
    EXPECT_EQ(boxes[0].text, QString::fromUtf8("是否退出Lumetra"));
    EXPECT_EQ(boxes[0].caption, "Lumetra");
    EXPECT_EQ(boxes[0].style, MB_YESNO);
    EXPECT_TRUE(boxes[1].onUiThread);
    EXPECT_EQ(boxes[1].caption, "");
    EXPECT_EQ(boxes[1].style, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(boxes[2].owner, nullptr);
    EXPECT_EQ(boxes[2].caption, "Lumetra");
    EXPECT_EQ(boxes[2].style, MB_OK);
}

TEST(MessageBoxes, RecorderRestoresThePreviousHandler)
{
    MessageBoxRecorder outer;
    {
        MessageBoxRecorder inner;
        AfxMessageBox("to the inner one");
        EXPECT_EQ(inner.Count(), 1u);
    }
    AfxMessageBox("to the outer one");
    ASSERT_EQ(outer.Count(), 1u);
    EXPECT_EQ(outer.Boxes()[0].text, "to the outer one");
}

TEST(MessageBoxes, WithoutHandlerTheTextGoesToStandardErrorAndTheSafeAnswerIsGiven)
{
    testing::internal::CaptureStderr();
    const int ok = MessageBox(nullptr, "plain", "Lumetra", MB_OK);
    const int yesNo = MessageBox(nullptr, "question", "Lumetra", MB_YESNO);
    const int okCancel = MessageBox(nullptr, "choice", "Lumetra", MB_OKCANCEL);
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(ok, IDOK);
    EXPECT_EQ(yesNo, IDNO);
    EXPECT_EQ(okCancel, IDCANCEL);
    EXPECT_EQ(printed, "[Lumetra] plain\n[Lumetra] question\n[Lumetra] choice\n");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
