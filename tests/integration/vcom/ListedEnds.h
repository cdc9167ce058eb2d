#pragma once

#include <string>
#include <vector>

// The ends named in the output of "lumetra-vcom list", read by the markers the
// client relies on: "CNC" + "A"/"B" + the pair number up to a space, and the COM
// number after "RealPortName=COM". Lines without "RealPortName" are not ends.
class ListedEnds
{
public:
    struct End
    {
        int pair = -1;
        bool isA = false;
        int com = -1;
    };

    // False when a line that names an end lacks one of the markers.
    bool Parse(const std::string& output);
    const std::vector<End>& Ends() const { return m_ends; }

private:
    std::vector<End> m_ends;
};
