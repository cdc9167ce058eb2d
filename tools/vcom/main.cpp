#include "VcomTool.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    VcomTool tool(std::cout, std::cerr);
    return tool.Run(args);
}
