#include "framework/Controls.h"
#include "framework/Serial.h"
#include "framework/Timer.h"
#include "mainwindow/ControlTable.h"
#include "mainwindow/PwrSupWindow.h"
#include "support/BenchWindow.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <optional>

using namespace zorv;

Q_DECLARE_METATYPE(zorv::ControlKind)

namespace {

const char* eventName(Event event)
{
    switch (event) {
    case Event::Action:
        return "Action";
    case Event::Change:
        return "Change";
    case Event::MouseEnter:
        return "MouseEnter";
    case Event::TextChange:
        return "TextChange";
    case Event::Open:
        return "Open";
    }
    return "?";
}

bool isVisualKind(ControlKind kind)
{
    return kind != ControlKind::Serial && kind != ControlKind::Timer;
}

// The object of the window registered under a name is of the class its kind
// names.
bool isOfKind(QObject* object, ControlKind kind)
{
    switch (kind) {
    case ControlKind::PushButton:
        return qobject_cast<PushButton*>(object);
    case ControlKind::TextArea:
        return qobject_cast<TextArea*>(object);
    case ControlKind::Serial:
        return qobject_cast<Serial*>(object);
    case ControlKind::PopupMenu:
        return qobject_cast<PopupMenu*>(object);
    case ControlKind::StaticText:
        return qobject_cast<StaticText*>(object);
    case ControlKind::CheckBox:
        return qobject_cast<CheckBox*>(object);
    case ControlKind::Timer:
        return qobject_cast<Timer*>(object);
    }
    return false;
}

// What the user reads on a control: a caption, a text, or the rows of a
// pop-up joined by carriage returns.
QString shownText(QObject* object)
{
    if (auto* popup = qobject_cast<PopupMenu*>(object)) {
        QStringList rows;
        for (int i = 0; i < popup->count(); ++i)
            rows.append(popup->itemText(i));
        return rows.join(u'\r');
    }
    if (auto* button = qobject_cast<PushButton*>(object))
        return button->caption();
    if (auto* text = qobject_cast<StaticText*>(object))
        return text->text();
    if (auto* box = qobject_cast<CheckBox*>(object))
        return box->text();
    if (auto* area = qobject_cast<TextArea*>(object))
        return area->text();
    return {};
}

// The window's handlers, named by the test itself rather than taken from the
// window's binding table, which is what the binding test checks.
struct Handler {
    const char* name;
    void (PwrSupWindow::*method)();
};
const Handler kHandlers[] = {
    {"openTextBtn_Action", &PwrSupWindow::openTextBtn_Action},
    {"myEditField_TextChange", &PwrSupWindow::myEditField_TextChange},
    {"myEditField_Open", &PwrSupWindow::myEditField_Open},
    {"saveTextBtn_Action", &PwrSupWindow::saveTextBtn_Action},
    {"PPSpopup_MouseEnter", &PwrSupWindow::PPSpopup_MouseEnter},
    {"PPSpopup_Change", &PwrSupWindow::PPSpopup_Change},
    {"PPSpopup_Open", &PwrSupWindow::PPSpopup_Open},
    {"UnitsPopup_Change", &PwrSupWindow::UnitsPopup_Change},
    {"StartButton_Action", &PwrSupWindow::StartButton_Action},
    {"PSComTimer_Action", &PwrSupWindow::PSComTimer_Action},
    {"SerialPortPopup_MouseEnter", &PwrSupWindow::SerialPortPopup_MouseEnter},
    {"SerialPortPopup_Change", &PwrSupWindow::SerialPortPopup_Change},
    {"OutNumberPopup_Change", &PwrSupWindow::OutNumberPopup_Change},
    {"ZeroVCheckBox_Action", &PwrSupWindow::ZeroVCheckBox_Action},
    {"ZeroVTimer_Action", &PwrSupWindow::ZeroVTimer_Action},
};

// A window in a state where every handler leaves a mark of its own: values
// each handler overwrites in its own way, a run under way with both timers
// armed far ahead, the port open, the choices enabled.
void poison(PwrSupWindow& w, const QString& port)
{
    w.ErrorText->setText(QStringLiteral("poison"));
    w.CmdTxt->setText(QStringLiteral("poison"));
    w.VoltMult = 7.0;
    w.TimeMult = 7.0;
    w.VoltsMax = 99.0;
    w.VoltsMaxList = QStringLiteral("5,6");
    w.PSComVoltSetPre = QStringLiteral("VOLT ");
    w.PSComVoltSetFormat = QStringLiteral("0.0");
    w.LineTerm = QStringLiteral("\n");
    w.ZeroVCheckBox->setEnabled(true);
    w.ZeroVCheckBox->setChecked(true);
    w.Command = QStringLiteral("poison\r");
    w.CommandIndex = 5;
    w.ComTimMode = 0;
    w.TimerPeriod = 100000;
    for (Timer* timer : {w.PSComTimer, w.ZeroVTimer}) {
        timer->setPeriod(100000);
        timer->setMode(1);
    }
    w.StartButton->setCaption(QStringLiteral("Stop"));
    w.StartButton->setEnabled(true);
    w.PPSpopup->deleteAllRows();
    w.PPSpopup->addRow(QStringLiteral("poison"));
    w.PPSLast = 5;
    w.DevNumberPopup->setEnabled(true);
    w.OutNumberPopup->setEnabled(true);
    w.myEditField->setAcceptDrops(false);
    w.Serial1->setPortName(port);
    w.Serial1->open();
}

// Everything a handler can change, as text: the window's state, each control
// as the user meets it, the timers, the port and the dialogs asked for.
QStringList fingerprint(const PwrSupWindow& w, const testing::ScriptedDialogs& dialogs)
{
    QStringList marks{
        QStringLiteral("CommandIndex %1, Command %2, TimerPeriod %3, ComTimMode %4")
            .arg(w.CommandIndex)
            .arg(w.Command)
            .arg(w.TimerPeriod)
            .arg(w.ComTimMode),
        QStringLiteral("VoltMult %1, TimeMult %2, VoltsMax %3").arg(w.VoltMult).arg(w.TimeMult).arg(w.VoltsMax),
        QStringLiteral("ZeroCommand %1, LineTerm %2, PPSLast %3, SerialPortCount %4")
            .arg(w.ZeroCommand, w.LineTerm)
            .arg(w.PPSLast)
            .arg(w.SerialPortCount),
    };
    for (const ControlSpec& spec : controlTable()) {
        const QString name = QString::fromLatin1(spec.name);
        QObject* object = w.control<QObject>(name);
        if (auto* timer = qobject_cast<Timer*>(object)) {
            marks << QStringLiteral("%1 mode %2 period %3").arg(name).arg(timer->mode()).arg(timer->period());
        } else if (auto* serial = qobject_cast<Serial*>(object)) {
            marks << QStringLiteral("%1 open %2 on %3").arg(name).arg(serial->isOpen()).arg(serial->portName());
        } else if (auto* widget = qobject_cast<QWidget*>(object)) {
            QString mark =
                QStringLiteral("%1 \"%2\" enabled %3").arg(name, shownText(widget)).arg(widget->isEnabled());
            if (auto* popup = qobject_cast<PopupMenu*>(widget))
                mark += QStringLiteral(" row %1").arg(popup->listIndex());
            if (auto* box = qobject_cast<CheckBox*>(widget))
                mark += QStringLiteral(" checked %1").arg(box->isChecked());
            if (auto* button = qobject_cast<PushButton*>(widget))
                mark += QStringLiteral(" cancel %1").arg(button->cancel());
            if (qobject_cast<TextArea*>(widget))
                mark += QStringLiteral(" drops %1").arg(widget->acceptDrops());
            marks << mark;
        }
    }
    marks << QStringLiteral("dialogs: ") + dialogs.unexpected.join(u'|');
    return marks;
}

const ControlSpec* specFor(const QString& name)
{
    for (const ControlSpec& spec : controlTable())
        if (QLatin1StringView(spec.name) == name)
            return &spec;
    return nullptr;
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_programFolder;
    std::optional<testing::SystemSeams> m_seams;
    std::unique_ptr<PwrSupWindow> m_window;

private slots:
    void init()
    {
        // No description files and no ports: the window opens as on a bare
        // machine.
        QVERIFY(m_programFolder.isValid());
        m_seams.emplace(m_programFolder.path(), QStringList{});
        m_window = std::make_unique<PwrSupWindow>();
    }

    void cleanup()
    {
        m_window.reset();
        m_seams.reset();
    }

    // Each control as the user meets it once the window has opened.
    void controls_data()
    {
        QTest::addColumn<ControlKind>("kind");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QColor>("textColor");

        using K = ControlKind;
        const QColor none;
        const QColor black(0, 0, 0);
        QTest::newRow("openTextBtn") << K::PushButton << QRect(44, 173, 158, 20)
                                     << QStringLiteral("Open Time/Volts File\u2026") << true << none;
        QTest::newRow("myEditField") << K::TextArea << QRect(209, 45, 287, 285) << QString() << true << none;
        QTest::newRow("saveTextBtn") << K::PushButton << QRect(68, 237, 134, 20)
                                     << QStringLiteral("Save Text File\u2026") << true << none;
        QTest::newRow("Serial1") << K::Serial << QRect() << QString() << true << none;
        QTest::newRow("PPSpopup") << K::PopupMenu << QRect(133, 14, 254, 19) << QString() << true << none;
        QTest::newRow("StaticText1") << K::StaticText << QRect(5, 141, 37, 20) << QStringLiteral("Units:")
                                     << true << black;
        QTest::newRow("UnitsPopup") << K::PopupMenu << QRect(44, 141, 158, 20)
                                    << QStringLiteral("Seconds, Volts\rSeconds, Milivolts\rMinutes, Volts\r"
                                                      "Minutes, Milivolts")
                                    << true << none;
        QTest::newRow("StaticText2") << K::StaticText << QRect(5, 14, 129, 20)
                                     << QStringLiteral("Power Supply Model:") << true << black;
        QTest::newRow("StartButton") << K::PushButton << QRect(114, 205, 88, 20) << QStringLiteral("Start")
                                     << false << none;
        QTest::newRow("PSComTimer") << K::Timer << QRect() << QString() << true << none;
        QTest::newRow("SerialPortPopup") << K::PopupMenu << QRect(38, 46, 164, 20) << QString() << true
                                         << none;
        QTest::newRow("StaticText3") << K::StaticText << QRect(5, 46, 37, 20) << QStringLiteral("Port:")
                                     << true << black;
        QTest::newRow("DevNumberPopup") << K::PopupMenu << QRect(107, 78, 95, 20) << QStringLiteral("1")
                                        << false << none;
        QTest::newRow("StaticText4") << K::StaticText << QRect(5, 78, 93, 20)
                                     << QStringLiteral("Device Number:") << true << black;
        QTest::newRow("OutNumberPopup") << K::PopupMenu << QRect(107, 110, 95, 20) << QStringLiteral("1")
                                        << false << none;
        QTest::newRow("StaticText5") << K::StaticText << QRect(5, 110, 93, 20)
                                     << QStringLiteral("Output number:") << true << black;
        QTest::newRow("CmdTxt") << K::StaticText << QRect(5, 299, 187, 20) << QString() << true
                                << QColor(0x58, 0x40, 0x89);
        QTest::newRow("ErrorText") << K::StaticText << QRect(5, 282, 197, 20) << QString() << true
                                   << QColor(0xFF, 0x03, 0x03);
        QTest::newRow("ZeroVCheckBox") << K::CheckBox << QRect(5, 261, 197, 20)
                                       << QStringLiteral("Zero volts when stopped") << false << none;
        QTest::newRow("ZeroVTimer") << K::Timer << QRect() << QString() << true << none;
    }

    void controls()
    {
        QFETCH(ControlKind, kind);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        QFETCH(bool, enabled);
        QFETCH(QColor, textColor);
        const QString name = QString::fromLatin1(QTest::currentDataTag());

        // The control the window really holds under that name.
        QObject* object = m_window->control<QObject>(name);
        QVERIFY2(object, "no control of that name");
        QVERIFY2(isOfKind(object, kind), object->metaObject()->className());
        QCOMPARE(m_window->findChildren<QObject*>(name).size(), 1);

        if (auto* timer = qobject_cast<Timer*>(object)) {
            QCOMPARE(timer->mode(), 0);
            QCOMPARE(timer->period(), name == u"PSComTimer" ? 1000 : 2000);
            return;
        }
        if (auto* serial = qobject_cast<Serial*>(object)) {
            QCOMPARE(serial->baud(), 13);
            QCOMPARE(serial->bits(), 3);
            QCOMPARE(serial->parity(), 0);
            QCOMPARE(serial->stop(), 0);
            QVERIFY(!serial->isOpen());
            return;
        }

        auto* widget = qobject_cast<QWidget*>(object);
        QCOMPARE(widget->parentWidget(), m_window->content());
        QCOMPARE(widget->geometry(), geometry);
        QCOMPARE(shownText(widget), text);
        QCOMPARE(widget->isEnabled(), enabled);
        QVERIFY(widget->isVisibleTo(m_window.get()));
        QCOMPARE(widget->font().pixelSize(), 12);
        if (textColor.isValid())
            QCOMPARE(widget->palette().color(QPalette::WindowText), textColor);
        // A label is clipped at its box, so its whole text must fit there.
        if (kind == ControlKind::StaticText)
            QVERIFY2(QFontMetrics(widget->font()).horizontalAdvance(text) <= geometry.width(), qPrintable(text));

        // Only the check box has a help tag.
        const bool isCheckBox = kind == ControlKind::CheckBox;
        QCOMPARE(widget->toolTip(),
                 isCheckBox ? QStringLiteral("If Checked, will set the voltage to zero after two seconds.") : QString());
        if (isCheckBox)
            QVERIFY(!qobject_cast<CheckBox*>(widget)->isChecked());
        if (auto* popup = qobject_cast<PopupMenu*>(widget))
            QCOMPARE(popup->text(), popup->count() ? popup->itemText(0) : QString());
    }

    // The table holds the 20 controls in creation order, and the window holds
    // them and nothing else.
    void holdsExactlyTheTableControls()
    {
        const QStringList expected{
            "openTextBtn", "myEditField",  "saveTextBtn",    "Serial1",      "PPSpopup",
            "StaticText1", "UnitsPopup",   "StaticText2",    "StartButton",  "PSComTimer",
            "SerialPortPopup", "StaticText3", "DevNumberPopup", "StaticText4", "OutNumberPopup",
            "StaticText5", "CmdTxt",       "ErrorText",      "ZeroVCheckBox", "ZeroVTimer",
        };
        QStringList table;
        QStringList visualInTable;
        for (const ControlSpec& spec : controlTable()) {
            table.append(QString::fromLatin1(spec.name));
            if (isVisualKind(spec.kind))
                visualInTable.append(QString::fromLatin1(spec.name));
        }
        QCOMPARE(table, expected);

        // The content area's own widgets, in the order they were made.
        QStringList visualInWindow;
        for (QWidget* widget : m_window->content()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            visualInWindow.append(widget->objectName());
        QCOMPARE(visualInWindow, visualInTable);

        QStringList controlsInWindow;
        for (QObject* object : m_window->findChildren<QObject*>()) {
            if (dynamic_cast<EventSource*>(object) || qobject_cast<Timer*>(object) || qobject_cast<Serial*>(object))
                controlsInWindow.append(object->objectName());
        }
        controlsInWindow.sort();
        QStringList sortedExpected = expected;
        sortedExpected.sort();
        QCOMPARE(controlsInWindow, sortedExpected);
    }

    void stateAfterOpening()
    {
        const PwrSupWindow& w = *m_window;
        QCOMPARE(w.VoltMult, 1.0);
        QCOMPARE(w.TimeMult, 1.0);
        QCOMPARE(w.PPSLast, -1);
        QCOMPARE(w.SerialPortCount, 0);
        QCOMPARE(w.CommandIndex, 0);
        QCOMPARE(w.TimerPeriod, 0);
        QCOMPARE(w.ComTimMode, 0);
        QCOMPARE(w.VoltsMax, 0.0);

        using S = QString PwrSupWindow::*;
        const std::pair<const char*, S> strings[]{
            {"PSMfgName", &PwrSupWindow::PSMfgName},
            {"PSMfgModNum", &PwrSupWindow::PSMfgModNum},
            {"PSDescription", &PwrSupWindow::PSDescription},
            {"PSHookup", &PwrSupWindow::PSHookup},
            {"PSSerialPortType", &PwrSupWindow::PSSerialPortType},
            {"PSBaudRate", &PwrSupWindow::PSBaudRate},
            {"PSParity", &PwrSupWindow::PSParity},
            {"PSDataBits", &PwrSupWindow::PSDataBits},
            {"PSStopBits", &PwrSupWindow::PSStopBits},
            {"PSProtocol", &PwrSupWindow::PSProtocol},
            {"PSIntrComDelay", &PwrSupWindow::PSIntrComDelay},
            {"LastLine", &PwrSupWindow::LastLine},
            {"PSComPSSelPre", &PwrSupWindow::PSComPSSelPre},
            {"PSComPSSelFormat", &PwrSupWindow::PSComPSSelFormat},
            {"PSComPSSelPost", &PwrSupWindow::PSComPSSelPost},
            {"PSComPSInitPre", &PwrSupWindow::PSComPSInitPre},
            {"PSComPSInitFormat", &PwrSupWindow::PSComPSInitFormat},
            {"PSComPSInitPost", &PwrSupWindow::PSComPSInitPost},
            {"PSComOutSelPre", &PwrSupWindow::PSComOutSelPre},
            {"PSComOutSelFormat", &PwrSupWindow::PSComOutSelFormat},
            {"PSComOutSelPost", &PwrSupWindow::PSComOutSelPost},
            {"PSComOutInitPre", &PwrSupWindow::PSComOutInitPre},
            {"PSComOutInitFormat", &PwrSupWindow::PSComOutInitFormat},
            {"PSComOutInitPost", &PwrSupWindow::PSComOutInitPost},
            {"PSComVoltSetPre", &PwrSupWindow::PSComVoltSetPre},
            {"PSComVoltSetFormat", &PwrSupWindow::PSComVoltSetFormat},
            {"PSComVoltSetPost", &PwrSupWindow::PSComVoltSetPost},
            {"PSComCurReadPre", &PwrSupWindow::PSComCurReadPre},
            {"PSComCurReadFormat", &PwrSupWindow::PSComCurReadFormat},
            {"PSComCurReadDelim", &PwrSupWindow::PSComCurReadDelim},
            {"PSComVoltSetUnit", &PwrSupWindow::PSComVoltSetUnit},
            {"PSComOutList", &PwrSupWindow::PSComOutList},
            {"Command", &PwrSupWindow::Command},
            {"LineTerm", &PwrSupWindow::LineTerm},
            {"VoltsMaxList", &PwrSupWindow::VoltsMaxList},
            {"ZeroCommand", &PwrSupWindow::ZeroCommand},
        };
        for (const auto& [name, member] : strings)
            QVERIFY2((w.*member).isEmpty(), name);

        // Both timers are off, so nothing runs until a handler arms one.
        QCOMPARE(w.PSComTimer->mode(), 0);
        QCOMPARE(w.ZeroVTimer->mode(), 0);
    }

    void windowSettings()
    {
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Power Supply Window"));
        const Qt::WindowFlags flags = m_window->windowFlags();
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
        QCOMPARE(m_window->content()->minimumSize(), QSize(390, 330));
        QCOMPARE(m_window->content()->maximumSize(), QSize(32000, 32000));
        // The window itself, menu bar and all, grows no larger either.
        QCOMPARE(m_window->maximumSize(), QSize(32000, 32000));

        // The window shares the program's one menu bar.
        QStringList menus;
        for (QAction* action : m_window->menuBar()->actions())
            menus.append(action->text());
        QCOMPARE(menus, QStringList({"File", "Edit", "Help"}));

        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QTRY_COMPARE(m_window->content()->size(), QSize(521, 339));
    }

    // The content area after the window is resized, and where the text area
    // then lies; everything else stays where it was laid out.
    void resizeMovesOnlyTheTextArea_data()
    {
        QTest::addColumn<QSize>("requested");
        QTest::addColumn<QSize>("content");
        QTest::addColumn<QRect>("textArea");
        QTest::newRow("larger") << QSize(800, 600) << QSize(800, 600) << QRect(209, 45, 566, 546);
        QTest::newRow("wider only") << QSize(700, 339) << QSize(700, 339) << QRect(209, 45, 466, 285);
        QTest::newRow("taller only") << QSize(521, 500) << QSize(521, 500) << QRect(209, 45, 287, 446);
        QTest::newRow("at the minimum") << QSize(390, 330) << QSize(390, 330) << QRect(209, 45, 156, 276);
        QTest::newRow("below the minimum") << QSize(200, 100) << QSize(390, 330) << QRect(209, 45, 156, 276);
    }

    void resizeMovesOnlyTheTextArea()
    {
        QFETCH(QSize, requested);
        QFETCH(QSize, content);
        QFETCH(QRect, textArea);

        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QTRY_COMPARE(m_window->content()->size(), QSize(521, 339));
        const QSize frame = m_window->size() - m_window->content()->size();

        m_window->resize(requested + frame);
        QTRY_COMPARE(m_window->content()->size(), content);
        QTRY_COMPARE(m_window->myEditField->geometry(), textArea);

        for (const ControlSpec& spec : controlTable()) {
            if (!isVisualKind(spec.kind) || spec.lockedToAllEdges)
                continue;
            auto* widget = m_window->control<QWidget>(QString::fromLatin1(spec.name));
            QVERIFY2(widget->geometry() == spec.geometry, spec.name);
        }

        // Back to the opening size, the text area is back in its place.
        m_window->resize(QSize(521, 339) + frame);
        QTRY_COMPARE(m_window->myEditField->geometry(), QRect(209, 45, 287, 285));
    }

    // Tab moves through the tab stops in creation order; the static texts
    // are skipped, and so are controls that are disabled.
    void tabOrder()
    {
        m_window->show();
        QApplication::setActiveWindow(m_window.get());
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));

        const QStringList stops{
            "openTextBtn",     "myEditField",    "saveTextBtn",    "PPSpopup",      "UnitsPopup",
            "StartButton",     "SerialPortPopup", "DevNumberPopup", "OutNumberPopup", "ZeroVCheckBox",
        };
        auto pressTabs = [this](int count) {
            QStringList visited;
            for (int i = 0; i < count; ++i) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                visited.append(QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : "(none)");
            }
            return visited;
        };

        // As opened: the start button, the device and output numbers and the
        // check box are disabled.
        m_window->openTextBtn->setFocus(Qt::OtherFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), m_window->openTextBtn);
        QCOMPARE(pressTabs(6), QStringList({"myEditField", "saveTextBtn", "PPSpopup", "UnitsPopup",
                                            "SerialPortPopup", "openTextBtn"}));

        for (const QString& name : stops)
            m_window->control<QWidget>(name)->setEnabled(true);
        m_window->openTextBtn->setFocus(Qt::OtherFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), m_window->openTextBtn);
        QCOMPARE(pressTabs(10), stops.mid(1) + QStringList{"openTextBtn"});
    }

    // Each bound event, raised on the real control, runs the handler named
    // after the control and the event, and no other; the events of the
    // controls without handlers run none. A handler is known by what it does
    // to a window in a state where each handler leaves a different mark.
    void eventBindingsRunTheirHandlers()
    {
        m_window.reset();
        QTemporaryDir folder;
        testing::Pty pty;
        QVERIFY(folder.isValid() && pty.isValid());
        QVERIFY(QDir(folder.path()).mkpath(QStringLiteral("ZORV dep files")));
        QVERIFY(testing::writeFile(folder.filePath(QStringLiteral("ZORV dep files/Bench.dep")),
                                   testing::BenchDescription().text().toUtf8()));
        m_seams.reset();
        m_seams.emplace(folder.path(), QStringList{pty.slavePath()});

        // Runs `act` on a fresh window in that state and gives its marks.
        auto marksAfter = [&pty](const std::function<void(PwrSupWindow&)>& act) {
            testing::ScriptedDialogs dialogs;
            PwrSupWindow w;
            poison(w, pty.slavePath());
            act(w);
            return fingerprint(w, dialogs);
        };

        const QStringList untouched = marksAfter([](PwrSupWindow&) {});
        std::map<QString, QStringList> marksOf;
        for (const Handler& handler : kHandlers) {
            const QStringList marks = marksAfter([&handler](PwrSupWindow& w) { (w.*handler.method)(); });
            QVERIFY2(marks != untouched, handler.name);
            for (const auto& [other, otherMarks] : marksOf)
                QVERIFY2(marks != otherMarks, qPrintable(other + QStringLiteral(" and ") + handler.name));
            marksOf[QString::fromLatin1(handler.name)] = marks;
        }

        const std::pair<const char*, Event> bound[]{
            {"openTextBtn", Event::Action},       {"myEditField", Event::TextChange},
            {"myEditField", Event::Open},         {"saveTextBtn", Event::Action},
            {"PPSpopup", Event::MouseEnter},      {"PPSpopup", Event::Change},
            {"PPSpopup", Event::Open},            {"UnitsPopup", Event::Change},
            {"StartButton", Event::Action},       {"PSComTimer", Event::Action},
            {"SerialPortPopup", Event::MouseEnter}, {"SerialPortPopup", Event::Change},
            {"OutNumberPopup", Event::Change},    {"ZeroVCheckBox", Event::Action},
            {"ZeroVTimer", Event::Action},
        };
        auto raise = [](PwrSupWindow& w, const QString& control, Event event) {
            QObject* object = w.control<QObject>(control);
            if (auto* timer = qobject_cast<Timer*>(object))
                emit timer->action();
            else if (auto* source = dynamic_cast<EventSource*>(object))
                source->raiseEvent(event);
        };
        for (const auto& [control, event] : bound) {
            const QString name = QString::fromLatin1(control);
            const QString handler = name + u'_' + QString::fromLatin1(eventName(event));
            QVERIFY2(marksOf.count(handler), qPrintable(handler));
            const QStringList marks = marksAfter([&](PwrSupWindow& w) { raise(w, name, event); });
            if (marks == marksOf[handler])
                continue;
            QString ran = QStringLiteral("no handler of its own");
            for (const auto& [other, otherMarks] : marksOf)
                if (marks == otherMarks)
                    ran = other;
            QFAIL(qPrintable(name + u' ' + QString::fromLatin1(eventName(event)) + QStringLiteral(" ran ") + ran));
        }

        // Every other event of every control, on one window: nothing runs.
        const QStringList marks = marksAfter([&](PwrSupWindow& w) {
            for (const ControlSpec& spec : controlTable()) {
                for (Event event : {Event::Action, Event::Change, Event::MouseEnter, Event::TextChange, Event::Open}) {
                    bool isBound = false;
                    for (const auto& [control, boundEvent] : bound)
                        isBound = isBound || (QLatin1StringView(control) == QLatin1StringView(spec.name)
                                              && boundEvent == event);
                    // A timer raises nothing but its Action, and the port nothing.
                    if (!isBound && isVisualKind(spec.kind))
                        raise(w, QString::fromLatin1(spec.name), event);
                }
            }
        });
        QCOMPARE(marks, untouched);
    }

    // Each handler is named after its control and event, and none is bound
    // twice.
    void eventBindingNames()
    {
        const QStringList expected{
            "openTextBtn_Action",         "myEditField_TextChange",  "myEditField_Open",
            "saveTextBtn_Action",         "PPSpopup_MouseEnter",     "PPSpopup_Change",
            "PPSpopup_Open",              "UnitsPopup_Change",       "StartButton_Action",
            "PSComTimer_Action",          "SerialPortPopup_MouseEnter", "SerialPortPopup_Change",
            "OutNumberPopup_Change",      "ZeroVCheckBox_Action",    "ZeroVTimer_Action",
        };
        QStringList names;
        const auto& bindings = eventBindings();
        for (std::size_t i = 0; i < bindings.size(); ++i) {
            const EventBinding& binding = bindings[i];
            const QString handlerName = QString::fromLatin1(binding.handlerName);
            QCOMPARE(handlerName,
                     QString::fromLatin1(binding.control) + u'_' + QString::fromLatin1(eventName(binding.event)));
            QVERIFY2(specFor(QString::fromLatin1(binding.control)), binding.control);
            for (std::size_t j = 0; j < i; ++j)
                QVERIFY2(bindings[j].handler != binding.handler, binding.handlerName);
            names.append(handlerName);
        }
        QCOMPARE(names, expected);
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
