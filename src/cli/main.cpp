// ferrovan: the Ferrovan-Kest configurator on the command line.
#include "cli/Tool.h"

#include <QCoreApplication>
#include <iostream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    fk::TTool tool(std::cout, std::cerr);
    return tool.Run(args);
}
