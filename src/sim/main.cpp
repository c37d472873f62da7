// ferrovan-sim: stand-ins for the hardware the configurator talks to.
#include "sim/SimProgram.h"

#include <iostream>

int main(int argc, char** argv)
{
    fk::TSimProgram program(std::cout, std::cerr);
    return program.Run(std::vector<std::string>(argv + 1, argv + argc));
}
