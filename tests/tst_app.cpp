#include "app/AboutWindow.h"
#include "app/App.h"
#include "app/FileTypes.h"
#include "app/Menu.h"
#include "app/Singletons.h"
#include "app/Startup.h"
#include "framework/Controls.h"
#include "framework/Dialogs.h"
#include "framework/FileType.h"
#include "mainwindow/PwrSupWindow.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QSettings>
#include <QThread>
#include <QTimer>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <optional>
#include <unistd.h>

// The accessors of Singletons.h hide the class names: within these tests
// `zorv::Menu()` is the program's one menu bar and `class zorv::Menu` the
// class.
using AboutWindowClass = class zorv::AboutWindow;
using AppClass = class zorv::App;
using WindowClass = class zorv::PwrSupWindow;

namespace {

QList<AboutWindowClass*> aboutWindows()
{
    QList<AboutWindowClass*> windows;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* about = qobject_cast<AboutWindowClass*>(widget))
            windows.append(about);
    return windows;
}

QList<AboutWindowClass*> visibleAboutWindows()
{
    QList<AboutWindowClass*> windows;
    for (AboutWindowClass* about : aboutWindows())
        if (about->isVisible())
            windows.append(about);
    return windows;
}

enum class PrefKind { Absent, File, Folder, Unreadable };

} // namespace

Q_DECLARE_METATYPE(PrefKind)

class AppTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_programFolder;
    QTemporaryDir m_preferences;
    QTemporaryDir m_userSettings; // where Qt keeps the user's settings
    std::optional<zorv::testing::SystemSeams> m_seams;
    std::unique_ptr<zorv::Program> m_program;

    // The main window and the application object that start-up made.
    static WindowClass& window() { return zorv::PwrSupWindow(); }
    static AppClass& app() { return *zorv::App(); }
    static QAction* barMenu(int index) { return window().menuBar()->actions().value(index); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_userSettings.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_userSettings.path()));
    }

    void init()
    {
        QVERIFY(m_programFolder.isValid());
        QVERIFY(m_preferences.isValid());
        m_seams.emplace(m_programFolder.path(), QStringList{}, m_preferences.path());

        // The program's own start-up, short of its event loop.
        m_program = std::make_unique<zorv::Program>();
        QVERIFY(zorv::App());
    }

    void cleanup()
    {
        for (AboutWindowClass* about : aboutWindows())
            delete about;
        m_program.reset();
        QFile::remove(m_preferences.filePath(QStringLiteral("ZORV.prf")));
        QDir(m_preferences.filePath(QStringLiteral("ZORV.prf"))).removeRecursively();
        m_seams.reset();
    }

    // What the program's own start-up leaves before its event loop runs: the
    // open dialog knows the plain-text type, the preference file has been
    // read, the main window is open under its menu bar, and Help >
    // "About ZORV..." opens the About window.
    void startUp()
    {
        QCOMPARE(zorv::fileDialogFilters(QStringLiteral("text/plain")).size(), 1);
        QCOMPARE(app().ZORVPref, QStringLiteral("none"));
        QVERIFY(window().isVisible());
        QCOMPARE(app().menuBar, &zorv::Menu());

        QAction* about = nullptr;
        for (QAction* menu : window().menuBar()->actions()) {
            if (menu->text() != u"Help" || !menu->menu())
                continue;
            for (QAction* item : menu->menu()->actions())
                if (item->text() == u"About ZORV...")
                    about = item;
        }
        QVERIFY2(about, "no About ZORV... in the Help menu of the main window");
        QCOMPARE(visibleAboutWindows().size(), 0);
        about->trigger();
        QCOMPARE(visibleAboutWindows().size(), 1);

        // Started again with a preference file, it reads the file whole.
        m_program.reset();
        const QByteArray content("first line\nsecond line\n");
        QVERIFY(zorv::testing::writeFile(m_preferences.filePath(QStringLiteral("ZORV.prf")), content));
        m_program = std::make_unique<zorv::Program>();
        QCOMPARE(app().ZORVPref, QString::fromUtf8(content));
    }

    // The program's end releases the one menu bar, its menus and items with
    // it; the next start builds a new one that works as the first did.
    void programEndReleasesTheMenuBar()
    {
        const QPointer<QObject> bar = &zorv::Menu();
        const QPointer<QAction> about = zorv::Menu().item(QStringLiteral("HelpAboutZORV"));
        QVERIFY(about);
        const QPointer<QMenu> help = qobject_cast<QMenu*>(about->parent());
        QVERIFY(help);

        m_program.reset();
        QVERIFY(bar.isNull());
        QVERIFY(about.isNull());
        QVERIFY(help.isNull());

        m_program = std::make_unique<zorv::Program>();
        QCOMPARE(app().menuBar, &zorv::Menu());
        QCOMPARE(window().menuBar()->actions().size(), 3);
        zorv::Menu().item(QStringLiteral("HelpAboutZORV"))->trigger();
        QCOMPARE(visibleAboutWindows().size(), 1);
    }

    // The menus of the main window's bar: one bar, built once, shared by the
    // application and the window.
    void menuBarTree()
    {
        QCOMPARE(&zorv::Menu(), &zorv::Menu());
        QCOMPARE(app().menuBar, &zorv::Menu());

        const QList<QAction*> menus = window().menuBar()->actions();
        QCOMPARE(menus.size(), 3);
        const QStringList names{"UntitledMenu2", "UntitledMenu0", "HelpMenu"};
        const QStringList texts{"File", "Edit", "Help"};
        const QList<int> itemCounts{1, 6, 1};
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(menus[i]->objectName(), names[i]);
            QCOMPARE(menus[i]->text(), texts[i]);
            QVERIFY(menus[i]->menu());
            QCOMPARE(menus[i]->menu()->actions().size(), itemCounts[i]);
            QCOMPARE(zorv::Menu().item(names[i]), menus[i]);
        }

        // A second window shows the same menus, not copies.
        WindowClass second;
        QCOMPARE(second.menuBar()->actions(), menus);
    }

    // The accessor makes the main window once; later calls return it and
    // open nothing.
    void singleMainWindow()
    {
        auto mainWindows = [] {
            int count = 0;
            for (QWidget* widget : QApplication::topLevelWidgets())
                count += qobject_cast<WindowClass*>(widget) ? 1 : 0;
            return count;
        };
        // The one start-up opened.
        QCOMPARE(mainWindows(), 1);
        WindowClass* first = &zorv::PwrSupWindow();
        QCOMPARE(&zorv::PwrSupWindow(), first);
        QCOMPARE(mainWindows(), 1);

        // Once it is gone, the next call makes a new one.
        delete first;
        QCOMPARE(mainWindows(), 0);
        WindowClass* second = &zorv::PwrSupWindow();
        QCOMPARE(&zorv::PwrSupWindow(), second);
        QCOMPARE(mainWindows(), 1);
        QCOMPARE(second->PPSLast, -1);
        QCOMPARE(second->VoltMult, 1.0);
    }

    void menuItems_data()
    {
        QTest::addColumn<int>("menu");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QKeySequence>("shortcut");
        QTest::addColumn<bool>("separator");

        const QKeySequence none;
        QTest::newRow("Quit") << 0 << 0 << "FileQuit" << "Quit" << QKeySequence(Qt::CTRL | Qt::Key_Q) << false;
        QTest::newRow("Undo") << 1 << 0 << "EditUndo" << "Undo" << QKeySequence(Qt::CTRL | Qt::Key_Z) << false;
        QTest::newRow("separator") << 1 << 1 << "UntitledMenu1" << "" << none << true;
        QTest::newRow("Cut") << 1 << 2 << "EditCut" << "Cut" << QKeySequence(Qt::CTRL | Qt::Key_X) << false;
        QTest::newRow("Copy") << 1 << 3 << "EditCopy" << "Copy" << QKeySequence(Qt::CTRL | Qt::Key_C) << false;
        QTest::newRow("Paste") << 1 << 4 << "EditPaste" << "Paste" << QKeySequence(Qt::CTRL | Qt::Key_V) << false;
        QTest::newRow("Clear") << 1 << 5 << "EditClear" << "Clear" << none << false;
        QTest::newRow("About") << 2 << 0 << "HelpAboutZORV" << "About ZORV..." << none << false;
    }

    void menuItems()
    {
        QFETCH(int, menu);
        QFETCH(int, position);
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QKeySequence, shortcut);
        QFETCH(bool, separator);

        QVERIFY(barMenu(menu) && barMenu(menu)->menu());
        QAction* item = barMenu(menu)->menu()->actions().value(position);
        QVERIFY(item);
        QCOMPARE(item->objectName(), name);
        QCOMPARE(item->isSeparator(), separator);
        if (!separator)
            QCOMPARE(item->text(), text);
        QCOMPARE(item->shortcut(), shortcut);
        QCOMPARE(item->shortcuts().size(), shortcut.isEmpty() ? 0 : 1);
        QCOMPARE(zorv::Menu().item(name), item);
    }

    // The Edit items work on the text area that has the focus, and on
    // nothing when the focus is elsewhere.
    void editItems_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("focusOnText");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("clipboard");

        // The text is "alpha beta"; the clipboard holds "gamma" before.
        QTest::newRow("Copy") << "EditCopy" << 6 << 4 << "" << true << "alpha beta" << "beta";
        QTest::newRow("Cut") << "EditCut" << 6 << 4 << "" << true << "alpha " << "beta";
        QTest::newRow("Paste over a selection") << "EditPaste" << 0 << 5 << "" << true << "gamma beta" << "gamma";
        QTest::newRow("Clear") << "EditClear" << 0 << 6 << "" << true << "beta" << "gamma";
        QTest::newRow("Clear without a selection") << "EditClear" << 3 << 0 << "" << true << "alpha beta" << "gamma";
        QTest::newRow("Undo typing") << "EditUndo" << 10 << 0 << "!" << true << "alpha beta" << "gamma";
        QTest::newRow("Clear, focus elsewhere") << "EditClear" << 0 << 6 << "" << false << "alpha beta" << "gamma";
        QTest::newRow("Cut, focus elsewhere") << "EditCut" << 0 << 6 << "" << false << "alpha beta" << "gamma";
        QTest::newRow("Paste, focus elsewhere") << "EditPaste" << 0 << 6 << "" << false << "alpha beta" << "gamma";
    }

    void editItems()
    {
        QFETCH(QString, item);
        QFETCH(int, start);
        QFETCH(int, length);
        QFETCH(QString, typed);
        QFETCH(bool, focusOnText);
        QFETCH(QString, text);
        QFETCH(QString, clipboard);

        window().show();
        QApplication::setActiveWindow(&window());
        QVERIFY(QTest::qWaitForWindowActive(&window()));
        zorv::TextArea* area = window().myEditField;
        area->setText(QStringLiteral("alpha beta"));
        QApplication::clipboard()->setText(QStringLiteral("gamma"));

        area->setFocus(Qt::OtherFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), area);
        QTextCursor cursor = area->textCursor();
        cursor.setPosition(start);
        cursor.setPosition(start + length, QTextCursor::KeepAnchor);
        area->setTextCursor(cursor);
        if (!typed.isEmpty())
            QTest::keyClicks(area, typed);
        if (!focusOnText) {
            window().openTextBtn->setFocus(Qt::OtherFocusReason);
            QTRY_COMPARE(QApplication::focusWidget(), window().openTextBtn);
        }

        QAction* action = zorv::Menu().item(item);
        QVERIFY(action);
        action->trigger();
        QCOMPARE(area->text(), text);
        QCOMPARE(QApplication::clipboard()->text(), clipboard);
    }

    // Lines copied out of the text area come back as the same lines.
    void copyPasteRoundTrip()
    {
        window().show();
        QApplication::setActiveWindow(&window());
        QVERIFY(QTest::qWaitForWindowActive(&window()));
        zorv::TextArea* area = window().myEditField;
        area->setText(QStringLiteral("0,1\r2,5"));
        area->setFocus(Qt::OtherFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), area);

        area->selectAll();
        zorv::Menu().item(QStringLiteral("EditCopy"))->trigger();
        area->moveCursor(QTextCursor::End);
        QTest::keyClick(area, Qt::Key_Return);
        zorv::Menu().item(QStringLiteral("EditPaste"))->trigger();
        QCOMPARE(area->text(), QStringLiteral("0,1\r2,5\r0,1\r2,5"));
    }

    // The About command opens one window while one is open and visible, and
    // a new one once it was closed.
    void aboutCommand()
    {
        QAction* about = zorv::Menu().item(QStringLiteral("HelpAboutZORV"));
        QVERIFY(about);
        about->trigger();
        QCOMPARE(visibleAboutWindows().size(), 1);
        const QPointer<AboutWindowClass> first = visibleAboutWindows().front();

        about->trigger();
        QVERIFY(app()._HelpAboutZORV_Action());
        QCOMPARE(aboutWindows().size(), 1);
        QCOMPARE(visibleAboutWindows().front(), first.data());

        // Closing it ends it; the next command opens a new one.
        QVERIFY(first->close());
        QTRY_VERIFY(first.isNull());
        QCOMPARE(aboutWindows().size(), 0);
        about->trigger();
        QCOMPARE(visibleAboutWindows().size(), 1);
        const QPointer<AboutWindowClass> second = visibleAboutWindows().front();

        // A window that is there but hidden does not count as open.
        second->hide();
        QVERIFY(app()._HelpAboutZORV_Action());
        QCOMPARE(visibleAboutWindows().size(), 1);
        QVERIFY(visibleAboutWindows().front() != second.data());
    }

    // The program's event loop ends, with status 0, on File > Quit and when
    // the main window is closed, even while an About window is still open.
    void eventLoopEnds_data()
    {
        QTest::addColumn<bool>("aboutOpen");
        QTest::addColumn<bool>("quitItem");
        QTest::newRow("Quit") << false << true;
        QTest::newRow("Quit, About open") << true << true;
        QTest::newRow("main window closed") << false << false;
        QTest::newRow("main window closed, About open") << true << false;
    }

    void eventLoopEnds()
    {
        QFETCH(bool, aboutOpen);
        QFETCH(bool, quitItem);

        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
        if (aboutOpen) {
            QVERIFY(app()._HelpAboutZORV_Action());
            QCOMPARE(visibleAboutWindows().size(), 1);
        }

        QTimer::singleShot(0, &window(), [this, quitItem] {
            if (quitItem)
                zorv::Menu().item(QStringLiteral("FileQuit"))->trigger();
            else
                window().close();
        });
        const std::optional<int> status = zorv::testing::execWithin(10000);
        QVERIFY2(status.has_value(), "the event loop did not end");
        QCOMPARE(*status, 0);
    }

    // Ctrl+Q quits from the About window too, not only from the window that
    // holds the menu bar.
    void quitShortcutFromAboutWindow()
    {
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
        QVERIFY(app()._HelpAboutZORV_Action());
        QCOMPARE(visibleAboutWindows().size(), 1);
        AboutWindowClass* about = visibleAboutWindows().front();
        about->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(about));

        QTimer::singleShot(0, about, [about] { QTest::keyClick(about, Qt::Key_Q, Qt::ControlModifier); });
        const std::optional<int> status = zorv::testing::execWithin(3000);
        QVERIFY2(status.has_value(), "Ctrl+Q in the About window did not quit");
        QCOMPARE(*status, 0);
    }

    void aboutWindowLayout()
    {
        QVERIFY(app()._HelpAboutZORV_Action());
        QCOMPARE(visibleAboutWindows().size(), 1);
        AboutWindowClass* about = visibleAboutWindows().front();
        QVERIFY(QTest::qWaitForWindowExposed(about));

        QCOMPARE(about->windowTitle(), QStringLiteral("About ZORV"));
        QCOMPARE(about->size(), QSize(228, 181));
        QCOMPARE(about->minimumSize(), QSize(228, 181));
        QCOMPARE(about->maximumSize(), QSize(228, 181));
        const Qt::WindowFlags flags = about->windowFlags();
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
        QCOMPARE(about->palette().color(QPalette::Window), QColor(Qt::white));
        // An About window left open does not keep the program running.
        QVERIFY(!about->testAttribute(Qt::WA_QuitOnClose));

        auto* text1 = about->findChild<zorv::StaticText*>(QStringLiteral("StaticText1"));
        auto* text2 = about->findChild<zorv::StaticText*>(QStringLiteral("StaticText2"));
        QVERIFY(text1 && text2);
        QCOMPARE(text1->geometry(), QRect(13, 5, 202, 89));
        QCOMPARE(text2->geometry(), QRect(13, 106, 202, 66));
        QCOMPARE(text1->text(), QStringLiteral("ZORV allows arbitrary voltage waveforms to be 'played' through a "
                                               "programmable power supplies."));
        QVERIFY(!text2->text().isEmpty());
        QVERIFY(text1->wordWrap() && text2->wordWrap());
        QCOMPARE(text2->font().pixelSize(), 10);
        QVERIFY(text1->font().pixelSize() != 10);

        // The author's note fits its box.
        QVERIFY(text2->heightForWidth(text2->width()) <= text2->height());
        QVERIFY(text1->heightForWidth(text1->width()) <= text1->height());
    }

    // The preference file is read whole; anything that is not a readable
    // file reads as "none". Reading never creates or changes it.
    void preferences_data()
    {
        QTest::addColumn<PrefKind>("kind");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected");

        QTest::newRow("absent") << PrefKind::Absent << QByteArray() << "none";
        QTest::newRow("empty") << PrefKind::File << QByteArray() << "";
        QTest::newRow("the word none") << PrefKind::File << QByteArray("none") << "none";
        QTest::newRow("several lines, CR LF kept")
            << PrefKind::File << QByteArray("first\r\nsecond\r\n\r\nlast\n") << "first\r\nsecond\r\n\r\nlast\n";
        QTest::newRow("bare CR kept") << PrefKind::File << QByteArray("a\rb\r") << "a\rb\r";
        QTest::newRow("UTF-8") << PrefKind::File << QByteArray("Gr\xC3\xBC\xC3\x9F"
                                                               "e")
                               << QStringLiteral("Gr\u00FC\u00DFe");
        QTest::newRow("a folder of that name") << PrefKind::Folder << QByteArray() << "none";
        QTest::newRow("no permission to read") << PrefKind::Unreadable << QByteArray("secret") << "none";
    }

    void preferences()
    {
        QFETCH(PrefKind, kind);
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);

        const QString path = m_preferences.filePath(QStringLiteral("ZORV.prf"));
        if (kind == PrefKind::Unreadable && geteuid() == 0)
            QSKIP("root reads a file of mode 000");
        if (kind == PrefKind::File || kind == PrefKind::Unreadable) {
            QVERIFY(zorv::testing::writeFile(path, content));
            if (kind == PrefKind::Unreadable)
                QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions()));
        } else if (kind == PrefKind::Folder) {
            QVERIFY(QDir().mkpath(path));
        }

        AppClass app;
        QCOMPARE(app.ZORVPref, QString());
        app.Event_Open();
        QCOMPARE(app.ZORVPref, expected);

        switch (kind) {
        case PrefKind::Absent:
            QVERIFY(!QFile::exists(path));
            break;
        case PrefKind::File:
            QCOMPARE(zorv::testing::fileBytes(path), content);
            break;
        case PrefKind::Unreadable:
            QFile(path).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
            break;
        case PrefKind::Folder:
            break;
        }
    }

    // The open dialog offers the plain-text type by its 17 extensions.
    void openDialogFilter()
    {
        QCOMPARE(zorv::FileTypes::pTextPlain.name, QStringLiteral("text/plain"));
        QCOMPARE(zorv::FileTypes::pTextPlain.macType, QStringLiteral("TEXT"));
        QCOMPARE(zorv::FileTypes::pTextPlain.macCreator, QStringLiteral("????"));

        const QStringList expected{QStringLiteral("text/plain (*.asc *.ascii *.bas *.c *.class *.cp *.cpp *.h *.hp "
                                                  "*.hpp *.i3 *.java *.m2 *.m3 *.mak *.text *.txt)")};
        QCOMPARE(zorv::fileDialogFilters(QStringLiteral("text/plain")), expected);
        // Registering again adds no second entry.
        zorv::FileTypes::_Initialize();
        QCOMPARE(zorv::fileDialogFilters(QStringLiteral("text/plain")), expected);

        // The dialog the open button raises gets that filter.
        zorv::testing::ScriptedDialogs dialogs;
        dialogs.nextOpenFile(QString());
        window().openTextBtn->click();
        QCOMPARE(dialogs.lastOpenFilters, expected);
        QVERIFY2(dialogs.unexpected.isEmpty(), qPrintable(dialogs.unexpected.join(", ")));
    }

    void realFileDialogsKeepNoHistory_data()
    {
        QTest::addColumn<bool>("save");
        QTest::addRow("open") << false;
        QTest::addRow("save") << true;
    }

    // Qt's own file dialog, a file chosen in it: the folder and the history
    // it showed are not kept among the user's settings, where Qt would keep
    // them in QtProject.conf.
    void realFileDialogsKeepNoHistory()
    {
        QFETCH(bool, save);
        const QString config = m_userSettings.path();
        // Qt fixes where the user's settings are at its first use of them.
        QVERIFY(QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("QtProject"))
                    .fileName()
                    .startsWith(config + u'/'));
        const QString chosen = m_programFolder.filePath(save ? QStringLiteral("new.txt") : QStringLiteral("wave.txt"));
        if (!save)
            QVERIFY(zorv::testing::writeFile(chosen, "0,1\n"));

        // The user types the file's name once the dialog waits for it, and
        // again until the dialog, which lists its folder in the background,
        // takes it.
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&chosen] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (dialog && dialog->isVisible() && QThread::currentThread()->loopLevel() > 0) {
                if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                    name->setText(chosen);
                static_cast<QDialog*>(dialog)->accept(); // as the dialog's own button does
            }
        });
        answer.start(10);
        const QString got = save ? zorv::dialogs::saveFile() : zorv::dialogs::openFile(QStringLiteral("text/plain"));
        QCOMPARE(got, chosen);
        QCOMPARE(QDir(config).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    }
};

QTEST_MAIN(AppTest)
#include "tst_app.moc"
