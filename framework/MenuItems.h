#pragma once

#include <QAction>
#include <QKeySequence>
#include <QString>

namespace zorv {

// A menu item of the framework. What choosing an item does is its class's:
// a plain item does nothing of its own, except the standard Edit items
// (known by their names "EditUndo", "EditCut", "EditCopy", "EditPaste" and
// "EditClear"), which act on the text area that has the focus.
class MenuItem : public QAction {
    Q_OBJECT
public:
    explicit MenuItem(QObject* parent = nullptr);

    void setName(const QString& name) { setObjectName(name); }
    // A text of "-" makes the item a separator.
    void setItemText(const QString& text);
    // "Cmd+" and a letter is the command key with that letter; empty is none.
    void setKeyboardShortcut(const QString& text);

protected:
    virtual void chosen();
};

// Ends the program, from whichever window of it has the focus.
class QuitMenuItem : public MenuItem {
    Q_OBJECT
public:
    explicit QuitMenuItem(QObject* parent = nullptr);

protected:
    void chosen() override;
};

// The About item, shown where the platform keeps it.
class AppleMenuItem : public MenuItem {
    Q_OBJECT
public:
    explicit AppleMenuItem(QObject* parent = nullptr);
};

// The platform's key sequence for a shortcut text of a menu item.
QKeySequence keyboardShortcut(const QString& text);

} // namespace zorv
