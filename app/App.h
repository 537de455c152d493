#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <map>

namespace zorv {

class Menu;

// The application object: it holds the preference text and the handlers of
// the menu commands the program answers itself.
class App : public QObject {
    Q_OBJECT
public:
    App() = default;

    QString ZORVPref;
    Menu* menuBar = nullptr;

    // Reads the preference file "ZORV.prf" whole, or "none" when there is no
    // file to read.
    void Event_Open();
    bool _HelpAboutZORV_Action();

    void addMenuHandler(const QString& itemName, std::function<bool()> handler);
    bool runMenuHandler(const QString& itemName) const;

private:
    std::map<QString, std::function<bool()>> m_menuHandlers;
};

// Runs the handler registered on the application object for a menu item.
bool runMenuHandler(const QString& itemName);

} // namespace zorv
