#pragma once

#include <memory>

namespace zorv {

class App;

// The program as its start-up leaves it before the event loop runs: the file
// type registered, the application object made with its menu bar and About
// command, the preference file read and the main window open. Ending it
// closes the main window and lets the application object go.
class Program {
public:
    Program();
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

private:
    std::unique_ptr<class App> m_app;
};

// Starts the program and runs its event loop until the user quits.
int runProgram(int& argc, char** argv);

} // namespace zorv
