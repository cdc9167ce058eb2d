// What the client's management connection reports, turned into link messages.

#include "endpoint/VpnStateParser.h"
#include "platform/MessageWindow.h"
#include "platform/WindowMessages.h"
#include "support/ProgramRun.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<UINT> ParseText(const std::string& text)
{
    return VpnStateParser::Parse(text.data(), text.size());
}

const UINT kUp = WM_VPN_LINK_UP;
const UINT kDown = WM_VPN_LINK_DOWN;

TEST(VpnStateParser, StateNameDecidesTheLink)
{
    EXPECT_EQ(ParseText(">STATE:1700000000,CONNECTED,SUCCESS,10.8.0.2,203.0.113.5,1194,,\r\n"),
              std::vector<UINT>{kUp});
    EXPECT_EQ(ParseText(">STATE:1700000000,WAIT,,,,,,\r\n"), std::vector<UINT>{kDown});
    EXPECT_EQ(ParseText(">STATE:1700000000,RECONNECTING,connection-reset,,,,,\r\n"),
              std::vector<UINT>{kDown});
    EXPECT_EQ(ParseText(">STATE:1700000000,EXITING,SIGTERM,,,,,\n"), std::vector<UINT>{kDown});
    // The comparison is exact.
    EXPECT_EQ(ParseText(">STATE:1,connected,SUCCESS\n"), std::vector<UINT>{kDown});
    EXPECT_EQ(ParseText(">STATE:1,CONNECTED2,SUCCESS\n"), std::vector<UINT>{kDown});
    // The last field may be the state name itself, with or without CR.
    EXPECT_EQ(ParseText(">STATE:1,CONNECTED\r\n"), std::vector<UINT>{kUp});
    EXPECT_EQ(ParseText(">STATE:1,CONNECTED"), std::vector<UINT>{kUp});
}

TEST(VpnStateParser, EmptyFieldsAreDropped)
{
    EXPECT_EQ(ParseText(">STATE:1700000000,,CONNECTED\n"), std::vector<UINT>{kUp});
    EXPECT_EQ(ParseText(",,,>STATE:1700000000,,,,WAIT,,\n"), std::vector<UINT>{kDown});
    // Fewer than two fields once the empty ones are gone: nothing.
    EXPECT_TRUE(ParseText(">STATE:1700000000,\r\n").empty());
    EXPECT_TRUE(ParseText(",CONNECTED,\n").empty());
    EXPECT_TRUE(ParseText(",,,,\n").empty());
}

TEST(VpnStateParser, LinesWithoutCommaSayNothing)
{
    EXPECT_TRUE(
        ParseText(">INFO:OpenVPN Management Interface Version 5 -- type 'help' for more info\r\n").empty());
    EXPECT_TRUE(ParseText("SUCCESS: real-time state notification set to ON\r\n").empty());
    EXPECT_TRUE(ParseText("CONNECTED\n").empty());
    EXPECT_TRUE(ParseText("\n\r\n\n").empty());
    EXPECT_TRUE(ParseText("").empty());
    EXPECT_TRUE(VpnStateParser::Parse(nullptr, 100).empty());
}

TEST(VpnStateParser, OneChunkManyLinesInOrder)
{
    const std::string chunk = ">INFO:OpenVPN Management Interface Version 5\r\n"
                              "SUCCESS: real-time state notification set to ON\r\n"
                              "\r\n"
                              ">STATE:1,WAIT,,,,,,\r\n"
                              ">STATE:2,AUTH,,,,,,\r\n"
                              ">STATE:3,GET_CONFIG,,,,,,\r\n"
                              ">STATE:4,CONNECTED,SUCCESS,10.8.0.2,127.0.0.1,1194,,\r\n"
                              ">STATE:5,RECONNECTING,ping-restart,,,,,\r\n";
    EXPECT_EQ(ParseText(chunk), (std::vector<UINT>{kDown, kDown, kDown, kUp, kDown}));
}

TEST(VpnStateParser, ChunkEndsAtZeroByteAndCutLinesStandAlone)
{
    const std::string withZero(">STATE:1,CONNECTED\n\0>STATE:2,WAIT\n", 34);
    ASSERT_EQ(withZero.size(), 34u);
    EXPECT_EQ(ParseText(withZero), std::vector<UINT>{kUp});

    // A report cut by the read size is read as two lines, each on its own.
    const std::string line = ">STATE:1700000000,CONNECTED,SUCCESS,10.8.0.2,127.0.0.1,1194,,\r\n";
    const size_t cut = line.find("CONNEC") + 6;
    EXPECT_EQ(ParseText(line.substr(0, cut)), std::vector<UINT>{kDown});
    EXPECT_EQ(ParseText(line.substr(cut)), std::vector<UINT>{kDown});
    // Cut right before the first comma, the state name moves to the first field of
    // the second half, whose second field is then SUCCESS.
    const size_t early = line.find(',');
    EXPECT_TRUE(ParseText(line.substr(0, early)).empty());
    EXPECT_EQ(ParseText(line.substr(early)), std::vector<UINT>{kDown});
}

// Records every message it receives.
class RecordingWindow : public MessageWindow
{
public:
    struct Message
    {
        UINT msg;
        WPARAM wParam;
        LPARAM lParam;
    };

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        messages.push_back({msg, wParam, lParam});
        return 0;
    }

    std::vector<Message> messages;
};

TEST(VpnStateParser, FeedSendsToTheTargetWindow)
{
    ProgramRun::EnsureApplication();
    RecordingWindow window;
    const std::string chunk = ">STATE:1,WAIT,,\r\n>STATE:2,,CONNECTED,SUCCESS\r\nno comma\r\n";
    VpnStateParser::Feed(chunk.data(), chunk.size(), &window);

    ASSERT_EQ(window.messages.size(), 2u);
    EXPECT_EQ(window.messages[0].msg, WM_USER + 1021);
    EXPECT_EQ(window.messages[1].msg, WM_USER + 1020);
    for (const RecordingWindow::Message& message : window.messages) {
        EXPECT_EQ(message.wParam, 0u);
        EXPECT_EQ(message.lParam, 0);
    }

    // No target: nothing to send and nothing breaks.
    VpnStateParser::Feed(chunk.data(), chunk.size(), nullptr);
    EXPECT_EQ(window.messages.size(), 2u);
}

} // namespace
