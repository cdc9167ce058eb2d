#pragma once

#include <string>
#include <vector>

// One end of a virtual null-modem pair: "CNCA<n>" is the end the program opens,
// "CNCB<n>" the end offered to the user's application. Plain data: the serial
// endpoint a tunnel opens on an end is the tunnel's own (CComDataTunnel).
struct _virtual_com_half
{
    int number = 0;   // the pair number n
    std::string name; // "CNCA" or "CNCB"
    int com = 0;      // k of "COMk"
    int isA = 0;      // 1 for the "CNCA" end
    int listed = 0;   // set when the end was parsed from a listing
};

// A virtual null-modem pair and its ends in listing order.
struct _virtual_com_pair
{
    int number = 0;
    std::vector<_virtual_com_half*> halves;
};
