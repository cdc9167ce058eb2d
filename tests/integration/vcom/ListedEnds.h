#pragma once

#include <regex>
#include <sstream>
#include <string>
#include <vector>

// The ends named in the output of "lumetra-vcom list", read by the markers the
// client relies on: "CNC" + "A"/"B" + the pair number, and the COM number after
// "RealPortName=COM". Lines without "RealPortName" are not ends.
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
    bool Parse(const std::string& output)
    {
        static const std::regex end("CNC([AB])(\\d+)\\b.*RealPortName=COM(\\d+)");
        m_ends.clear();
        std::istringstream lines(output);
        std::smatch m;
        for (std::string line; std::getline(lines, line);) {
            if (line.find("RealPortName") == std::string::npos)
                continue;
            if (!std::regex_search(line, m, end))
                return false;
            m_ends.push_back({std::stoi(m[2]), m[1] == "A", std::stoi(m[3])});
        }
        return true;
    }
    const std::vector<End>& Ends() const { return m_ends; }

private:
    std::vector<End> m_ends;
};
