#include "framework/MenuItems.h"

#include "framework/Yield.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <algorithm>
#include <iterator>

namespace zorv {
namespace {

struct EditItem {
    const char* name;
    void (*act)(QPlainTextEdit&);
};

constexpr EditItem kEditItems[] = {
    {"EditUndo", [](QPlainTextEdit& text) { text.undo(); }},
    {"EditCut", [](QPlainTextEdit& text) { text.cut(); }},
    {"EditCopy", [](QPlainTextEdit& text) { text.copy(); }},
    {"EditPaste", [](QPlainTextEdit& text) { text.paste(); }},
    {"EditClear", [](QPlainTextEdit& text) { text.textCursor().removeSelectedText(); }},
};

} // namespace

QKeySequence keyboardShortcut(const QString& text)
{
    // Qt's portable "Ctrl+" is the platform's command key.
    QString keys = text;
    keys.replace(QStringLiteral("Cmd+"), QStringLiteral("Ctrl+"));
    return QKeySequence(keys, QKeySequence::PortableText);
}

MenuItem::MenuItem(QObject* parent) : QAction(parent)
{
    guardUserInput(this);
    connect(this, &QAction::triggered, this, [this] { chosen(); });
}

void MenuItem::setItemText(const QString& text)
{
    setSeparator(text == u"-");
    setText(text);
}

void MenuItem::setKeyboardShortcut(const QString& text)
{
    setShortcut(keyboardShortcut(text));
}

void MenuItem::chosen()
{
    auto* area = qobject_cast<QPlainTextEdit*>(QApplication::focusWidget());
    if (!area)
        return;
    const QString name = objectName();
    const auto found = std::find_if(std::begin(kEditItems), std::end(kEditItems),
                                    [&name](const EditItem& item) { return name == QLatin1StringView(item.name); });
    if (found != std::end(kEditItems))
        found->act(*area);
}

QuitMenuItem::QuitMenuItem(QObject* parent) : MenuItem(parent)
{
    setMenuRole(QAction::QuitRole);
    // The menu bar lives in the main window; the shortcut quits from any
    // window of the program, the About window included.
    setShortcutContext(Qt::ApplicationShortcut);
}

void QuitMenuItem::chosen()
{
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

AppleMenuItem::AppleMenuItem(QObject* parent) : MenuItem(parent)
{
    setMenuRole(QAction::AboutRole);
}

} // namespace zorv
