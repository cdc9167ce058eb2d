// The management connection against a small management server in the test.

#include "LoopbackPeer.h"
#include "ReplyWindow.h"

#include "endpoint/CVpnStatusSocket.h"
#include "platform/WindowMessages.h"
#include "support/PumpUntil.h"

#include <gtest/gtest.h>

namespace {

TEST(VpnStatusSocket, AsksForStateReportsAndTurnsThemIntoLinkMessages)
{
    LoopbackPeer server;
    ASSERT_TRUE(server.IsListening());
    ReplyWindow view;
    CVpnStatusSocket status;
    ASSERT_TRUE(status.Create());
    ASSERT_TRUE(status.Connect("127.0.0.1", server.Port()));
    status.StartReports(&view);
    EXPECT_EQ(status.NotifyWindow(), &view);
    ASSERT_TRUE(PumpUntil([&] { return server.Received().size() >= 9; }));
    EXPECT_EQ(server.Received(), QByteArray("state on\n"));

    // Greeting and command answer carry no comma and say nothing.
    server.Write(">INFO:OpenVPN Management Interface Version 5 -- type 'help' for more info\r\n"
                 "SUCCESS: real-time state notification set to ON\r\n"
                 ">STATE:1700000000,CONNECTED,SUCCESS,10.8.0.6,127.0.0.1,1194,,\r\n");
    ASSERT_TRUE(PumpUntil([&] { return view.Count() >= 1; }));
    server.Write(">STATE:1700000050,RECONNECTING,ping-restart,,,,,\r\n");
    ASSERT_TRUE(PumpUntil([&] { return view.Count() >= 2; }));
    server.Write(">STATE:1700000060,,CONNECTED,SUCCESS\r\n");
    ASSERT_TRUE(PumpUntil([&] { return view.Count() >= 3; }));

    ASSERT_EQ(view.Count(), 3u);
    EXPECT_EQ(view.Entries()[0].msg, WM_VPN_LINK_UP);
    EXPECT_EQ(view.Entries()[1].msg, WM_VPN_LINK_DOWN);
    EXPECT_EQ(view.Entries()[2].msg, WM_VPN_LINK_UP);
    for (const ReplyWindow::Entry& entry : view.Entries()) {
        EXPECT_EQ(entry.wParam, 0u);
    }

    // Nothing but the one command went to the server.
    status.Close();
    ASSERT_TRUE(PumpUntil([&] { return server.PeerClosed(); }));
    EXPECT_EQ(server.Received(), QByteArray("state on\n"));
}

TEST(VpnStatusSocket, ReportsWithoutANotifyWindowGoNowhere)
{
    LoopbackPeer server;
    CVpnStatusSocket status;
    ASSERT_TRUE(status.Create());
    ASSERT_TRUE(status.Connect("127.0.0.1", server.Port()));
    status.StartReports(nullptr);
    ASSERT_TRUE(PumpUntil([&] { return server.Received().size() >= 9; }));
    server.Write(">STATE:1,CONNECTED,SUCCESS\r\n");
    server.CloseConnection();
    ASSERT_TRUE(PumpUntil([&] { return status.HasEnded(); }));
}

} // namespace
