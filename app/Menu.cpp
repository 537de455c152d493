#include "app/Menu.h"

#include "app/App.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>

namespace zorv {
namespace {

// The Edit items act on whichever text field has the focus.
template <class Call>
void onFocusedText(Call call)
{
    QWidget* focused = QApplication::focusWidget();
    if (auto* area = qobject_cast<QPlainTextEdit*>(focused))
        call(*area);
}

QKeySequence shortcutFor(const QString& text)
{
    // "Cmd+X" is the platform's command key with X.
    QString keys = text;
    keys.replace(QStringLiteral("Cmd+"), QStringLiteral("Ctrl+"));
    return QKeySequence(keys, QKeySequence::PortableText);
}

} // namespace

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

QAction* Menu::addItem(QMenu* menu, const QString& name, const QString& text, const QString& shortcut)
{
    QAction* action = text == u"-" ? menu->addSeparator() : menu->addAction(text);
    action->setObjectName(name);
    if (!shortcut.isEmpty())
        action->setShortcut(shortcutFor(shortcut));
    m_items[name] = action;
    return action;
}

void Menu::Untitled1()
{
    QMenu* file = addMenu(QStringLiteral("UntitledMenu2"), QStringLiteral("File"));
    QAction* quit = addItem(file, QStringLiteral("FileQuit"), QStringLiteral("Quit"), QStringLiteral("Cmd+Q"));
    quit->setMenuRole(QAction::QuitRole);
    // The menu bar lives in the main window; the shortcut quits from any
    // window of the program, the About window included.
    quit->setShortcutContext(Qt::ApplicationShortcut);
    connect(quit, &QAction::triggered, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void Menu::Untitled2()
{
    QMenu* edit = addMenu(QStringLiteral("UntitledMenu0"), QStringLiteral("Edit"));
    QAction* undo = addItem(edit, QStringLiteral("EditUndo"), QStringLiteral("Undo"), QStringLiteral("Cmd+Z"));
    addItem(edit, QStringLiteral("UntitledMenu1"), QStringLiteral("-"), QString());
    QAction* cut = addItem(edit, QStringLiteral("EditCut"), QStringLiteral("Cut"), QStringLiteral("Cmd+X"));
    QAction* copy = addItem(edit, QStringLiteral("EditCopy"), QStringLiteral("Copy"), QStringLiteral("Cmd+C"));
    QAction* paste = addItem(edit, QStringLiteral("EditPaste"), QStringLiteral("Paste"), QStringLiteral("Cmd+V"));
    QAction* clear = addItem(edit, QStringLiteral("EditClear"), QStringLiteral("Clear"), QString());
    connect(undo, &QAction::triggered, this, [] { onFocusedText([](QPlainTextEdit& t) { t.undo(); }); });
    connect(cut, &QAction::triggered, this, [] { onFocusedText([](QPlainTextEdit& t) { t.cut(); }); });
    connect(copy, &QAction::triggered, this, [] { onFocusedText([](QPlainTextEdit& t) { t.copy(); }); });
    connect(paste, &QAction::triggered, this, [] { onFocusedText([](QPlainTextEdit& t) { t.paste(); }); });
    connect(clear, &QAction::triggered, this,
            [] { onFocusedText([](QPlainTextEdit& t) { t.textCursor().removeSelectedText(); }); });
}

void Menu::Untitled4()
{
    QMenu* help = addMenu(QStringLiteral("HelpMenu"), QStringLiteral("Help"));
    QAction* about = addItem(help, QStringLiteral("HelpAboutZORV"), QStringLiteral("About ZORV..."), QString());
    about->setMenuRole(QAction::AboutRole);
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
