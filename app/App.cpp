#include "app/App.h"

#include "app/AboutWindow.h"
#include "app/Menu.h"
#include "app/Singletons.h"
#include "framework/Files.h"
#include "mainwindow/PwrSupWindow.h"

#include <QPointer>

namespace zorv {
namespace {

class App*& appObject()
{
    static class App* app = nullptr;
    return app;
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
    static class Menu* menu = new class Menu;
    return *menu;
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
