#pragma once

#include <ostream>
#include <string>
#include <vector>

// The command line of lumetra-vcom:
//   install PortName=COM# PortName=COM#   make a pair; "COM#" takes the lowest free
//                                         number, "COMk" asks for number k
//   list                                  one line per end of every pair
//   remove <n>                            end pair n
// Exit codes: 0 done, 1 the command failed, 2 bad command line.
class VcomTool
{
public:
    static constexpr int kOk = 0;
    static constexpr int kFailed = 1;
    static constexpr int kUsage = 2;

    VcomTool(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

    int Run(const std::vector<std::string>& args);

private:
    int List();
    int Install(const std::vector<std::string>& args);
    int Remove(const std::vector<std::string>& args);
    int Usage(const std::string& problem);
    void PrintEnds(int number, int comA, int comB);

    std::ostream& out_;
    std::ostream& err_;
};
