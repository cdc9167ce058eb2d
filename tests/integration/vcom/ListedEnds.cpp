#include "ListedEnds.h"

#include <cstdlib>
#include <sstream>

bool ListedEnds::Parse(const std::string& output)
{
    m_ends.clear();
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.find("RealPortName") == std::string::npos)
            continue;
        const size_t cnc = line.find("CNC");
        const size_t com = line.find("RealPortName=COM");
        if (cnc == std::string::npos || com == std::string::npos)
            return false;
        End end;
        std::string letter;
        std::string pairDigits;
        for (size_t i = cnc + 3; i < line.size() && line[i] != ' '; ++i) {
            if (line[i] == 'A' || line[i] == 'B')
                letter = line[i];
            else if (line[i] >= '0' && line[i] <= '9')
                pairDigits += line[i];
        }
        std::string comDigits;
        for (size_t i = com + 16; i < line.size(); ++i) {
            if (line[i] >= '0' && line[i] <= '9')
                comDigits += line[i];
        }
        if (letter.empty() || pairDigits.empty() || comDigits.empty())
            return false;
        end.pair = std::atoi(pairDigits.c_str());
        end.isA = letter == "A";
        end.com = std::atoi(comDigits.c_str());
        m_ends.push_back(end);
    }
    return true;
}
