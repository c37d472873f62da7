// ferrovan: the Ferrovan-Kest configurator on the command line.
#include "cli/Tool.h"

#include <QCoreApplication>
#include <iostream>
#include <unistd.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    fk::TTool tool(std::cout, std::cerr);
    tool.SetTerminal(isatty(STDOUT_FILENO) == 1);
    return tool.Run(args);
}
