#pragma once

// The program's single objects, each reached through an accessor named after
// its class and created on first use. Only code that needs an accessor
// includes this: the accessors hide the class names they share, so there
// `Menu()` is the one menu bar, and elsewhere it would be a new one.
namespace zorv {

class App;
class Menu;
class PwrSupWindow;
class AboutWindow;

// The application object; nullptr before start-up has made it.
class App* App();
class Menu& Menu();
class PwrSupWindow& PwrSupWindow();
class AboutWindow& AboutWindow();

void setApp(class App* app);
// Deletes the one menu bar; the next `Menu()` builds a new one.
void releaseMenu();

} // namespace zorv
