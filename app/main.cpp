#include "app/Startup.h"

int main(int argc, char* argv[])
{
    return zorv::runProgram(argc, argv);
}
