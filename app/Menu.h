#pragma once

#include <QObject>
#include <QString>
#include <map>
#include <vector>

class QAction;
class QMenu;
class QMenuBar;

namespace zorv {

class MenuItem;

// The program's menus: File, Edit and Help. One set of menus and items serves
// every window's menu bar; items are known by their names ("FileQuit",
// "HelpAboutZORV", ...). What the items do is their framework classes', but
// for About, whose handler the application object holds.
class Menu : public QObject {
    Q_OBJECT
public:
    Menu();
    ~Menu() override;

    void populate(QMenuBar* bar) const;
    QAction* item(const QString& name) const;

private:
    void Untitled1();
    void Untitled2();
    void Untitled4();
    QMenu* addMenu(const QString& name, const QString& text);
    MenuItem* addItem(QMenu* menu, MenuItem* item, const QString& name, const QString& text,
                      const QString& shortcut);

    std::vector<QMenu*> m_menus;
    std::map<QString, QAction*> m_items;
};

} // namespace zorv
