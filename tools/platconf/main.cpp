#include "PlatconfTool.h"

int main(int argc, char** argv)
{
    PlatconfTool tool;
    return tool.Run(argc, argv);
}
