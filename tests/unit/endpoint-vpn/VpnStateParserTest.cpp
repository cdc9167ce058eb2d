// What the client's management connection reports, turned into link messages (the
// status socket's test sends them to a window).

#include "endpoint/VpnStateParser.h"
#include "platform/WindowMessages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const platform::MsgCode kUp = WM_VPN_LINK_UP;
const platform::MsgCode kDown = WM_VPN_LINK_DOWN;

TEST(VpnStateParser, ChunksBecomeLinkMessagesInOrder)
{
    const std::vector<std::pair<std::string, std::vector<platform::MsgCode>>> cases = {
        {">STATE:1700000000,CONNECTED,SUCCESS,10.8.0.2,203.0.113.5,1194,,\r\n", {kUp}},
        {">STATE:1700000000,WAIT,,,,,,\r\n", {kDown}},
        {">STATE:1700000000,RECONNECTING,connection-reset,,,,,\r\n", {kDown}},
        {">STATE:1700000000,EXITING,SIGTERM,,,,,\n", {kDown}},
        // The comparison is exact; the state name may be the last field.
        {">STATE:1,connected,SUCCESS\n", {kDown}},
        {">STATE:1,CONNECTED2,SUCCESS\n", {kDown}},
        {">STATE:1,CONNECTED\r\n", {kUp}},
        {">STATE:1,CONNECTED", {kUp}},
        // Empty fields are dropped; fewer than two fields left say nothing.
        {">STATE:1700000000,,CONNECTED\n", {kUp}},
        {",,,>STATE:1700000000,,,,WAIT,,\n", {kDown}},
        {">STATE:1700000000,\r\n", {}},
        {",CONNECTED,\n", {}},
        {",,,,\n", {}},
        // Lines without a comma say nothing.
        {">INFO:OpenVPN Management Interface Version 5 -- type 'help' for more info\r\n", {}},
        {"SUCCESS: real-time state notification set to ON\r\n", {}},
        {"CONNECTED\n\r\n\n", {}},
        {"", {}},
        // Many lines in one chunk; a zero byte ends the chunk.
        {">INFO:OpenVPN Management Interface Version 5\r\n\r\n>STATE:1,WAIT,,,,,,\r\n>STATE:2,AUTH,,,,,,\r\n"
         ">STATE:4,CONNECTED,SUCCESS,10.8.0.2,127.0.0.1,1194,,\r\n>STATE:5,RECONNECTING,ping-restart,,,,,"
         "\r\n",
         {kDown, kDown, kUp, kDown}},
        {std::string(">STATE:1,CONNECTED\n\0>STATE:2,WAIT\n", 34), {kUp}},
        // A report cut by the read size is read as two lines, each on its own; cut
        // before the first comma, the second half's second field is SUCCESS.
        {">STATE:1700000000,CONNEC", {kDown}},
        {"TED,SUCCESS,10.8.0.2,127.0.0.1,1194,,\r\n", {kDown}},
        {">STATE:1700000000", {}},
        {",CONNECTED,SUCCESS,10.8.0.2,127.0.0.1,1194,,\r\n", {kDown}},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(VpnStateParser::Parse(text.data(), text.size()), expected) << text;
    EXPECT_TRUE(VpnStateParser::Parse(nullptr, 100).empty());
}

} // namespace
