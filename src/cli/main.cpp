// ferrovan: the Ferrovan-Kest configurator on the command line.
#include "cli/Tool.h"

#include <QCoreApplication>
#include <csignal>
#include <iostream>
#include <unistd.h>

int main(int argc, char** argv)
{
    // A reader that goes away (`ferrovan flash ... | head -1`) must not end the program in the
    // middle of an upload: writes then fail, and the command's exit status says so.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    fk::TTool tool(std::cout, std::cerr);
    tool.SetTerminal(isatty(STDOUT_FILENO) == 1);
    return tool.Run(args);
}
