#include "app/App.h"

#include "app/AboutWindow.h"
#include "app/Menu.h"
#include "app/Singletons.h"
#include "framework/Files.h"
#include "mainwindow/PwrSupWindow.h"

#include <QPointer>
#include <utility>

namespace zorv {
namespace {

class App*& appObject()
{
    static class App* app = nullptr;
    return app;
}

// A plain pointer, not one that static destruction would delete: the menus
// are widgets and must go before QApplication does, so the program's end
// releases them.
class Menu*& menuInstance()
{
    static class Menu* menu = nullptr;
    return menu;
}

} // namespace

void App::Event_Open()
{
    const QString path = files::preferencesFolder() + QStringLiteral("ZORV.prf");
    // A preference file that exists but cannot be read counts as absent.
    ZORVPref = files::readTextFile(path).value_or(QStringLiteral("none"));
}

bool App::_HelpAboutZORV_Action()
{
    class AboutWindow& about = AboutWindow();
    if (!about.isVisible())
        (new class AboutWindow)->show();
    return true;
}

void App::addMenuHandler(const QString& itemName, std::function<bool()> handler)
{
    m_menuHandlers[itemName] = std::move(handler);
}

bool App::runMenuHandler(const QString& itemName) const
{
    const auto found = m_menuHandlers.find(itemName);
    return found != m_menuHandlers.end() && found->second && found->second();
}

bool runMenuHandler(const QString& itemName)
{
    class App* app = App();
    return app && app->runMenuHandler(itemName);
}

class App* App()
{
    return appObject();
}

void setApp(class App* app)
{
    appObject() = app;
}

class Menu& Menu()
{
    class Menu*& menu = menuInstance();
    if (!menu)
        menu = new class Menu;
    return *menu;
}

void releaseMenu()
{
    delete std::exchange(menuInstance(), nullptr);
}

class PwrSupWindow& PwrSupWindow()
{
    static QPointer<class PwrSupWindow> window;
    if (!window)
        window = new class PwrSupWindow;
    return *window;
}

class AboutWindow& AboutWindow()
{
    static QPointer<class AboutWindow> window;
    if (!window) {
        window = new class AboutWindow;
        window->show();
    }
    return *window;
}

} // namespace zorv
