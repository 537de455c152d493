#include "app/Menu.h"

#include "app/App.h"
#include "framework/MenuItems.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace zorv {

Menu::Menu()
{
    setObjectName(QStringLiteral("Menu"));
    Untitled1();
    Untitled2();
    Untitled4();
}

Menu::~Menu()
{
    for (QMenu* menu : m_menus)
        delete menu;
}

QMenu* Menu::addMenu(const QString& name, const QString& text)
{
    auto* menu = new QMenu(text);
    menu->setObjectName(name);
    menu->menuAction()->setObjectName(name);
    m_menus.push_back(menu);
    m_items[name] = menu->menuAction();
    return menu;
}

MenuItem* Menu::addItem(QMenu* menu, MenuItem* item, const QString& name, const QString& text,
                        const QString& shortcut)
{
    item->setName(name);
    item->setItemText(text);
    item->setKeyboardShortcut(shortcut);
    menu->addAction(item);
    m_items[name] = item;
    return item;
}

void Menu::Untitled1()
{
    QMenu* file = addMenu(QStringLiteral("UntitledMenu2"), QStringLiteral("File"));
    addItem(file, new QuitMenuItem(file), QStringLiteral("FileQuit"), QStringLiteral("Quit"), QStringLiteral("Cmd+Q"));
}

void Menu::Untitled2()
{
    QMenu* edit = addMenu(QStringLiteral("UntitledMenu0"), QStringLiteral("Edit"));
    addItem(edit, new MenuItem(edit), QStringLiteral("EditUndo"), QStringLiteral("Undo"), QStringLiteral("Cmd+Z"));
    addItem(edit, new MenuItem(edit), QStringLiteral("UntitledMenu1"), QStringLiteral("-"), QString());
    addItem(edit, new MenuItem(edit), QStringLiteral("EditCut"), QStringLiteral("Cut"), QStringLiteral("Cmd+X"));
    addItem(edit, new MenuItem(edit), QStringLiteral("EditCopy"), QStringLiteral("Copy"), QStringLiteral("Cmd+C"));
    addItem(edit, new MenuItem(edit), QStringLiteral("EditPaste"), QStringLiteral("Paste"), QStringLiteral("Cmd+V"));
    addItem(edit, new MenuItem(edit), QStringLiteral("EditClear"), QStringLiteral("Clear"), QString());
}

void Menu::Untitled4()
{
    QMenu* help = addMenu(QStringLiteral("HelpMenu"), QStringLiteral("Help"));
    MenuItem* about = addItem(help, new AppleMenuItem(help), QStringLiteral("HelpAboutZORV"),
                              QStringLiteral("About ZORV..."), QString());
    connect(about, &QAction::triggered, this, [] { runMenuHandler(QStringLiteral("HelpAboutZORV")); });
}

void Menu::populate(QMenuBar* bar) const
{
    for (QMenu* menu : m_menus)
        bar->addMenu(menu);
}

QAction* Menu::item(const QString& name) const
{
    const auto found = m_items.find(name);
    return found == m_items.end() ? nullptr : found->second;
}

} // namespace zorv
