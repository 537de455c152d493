#pragma once

namespace zorv {

// Starts the program and runs its event loop until the user quits.
int runProgram(int& argc, char** argv);

} // namespace zorv
