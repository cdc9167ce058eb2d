#pragma once

#include <string>

// The cloud web service as the installation's custom resources name it: the texts
// of "wsh" (host) and "wsp" (port in decimal).
struct WebEndpoint
{
    bool hostPresent = false; // the table has a "wsh" entry
    bool portPresent = false; // the table has a "wsp" entry
    std::string host;         // the text of "wsh", empty without the entry
    std::string portText;     // the text of "wsp", empty without the entry
    int port = 0;             // portText as read by atoi (0 without the entry)
};
