#pragma once

#include "framework/Dialogs.h"
#include "support/Pty.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class QAction;
class QMainWindow;
class QWidget;

namespace zorv::testing {

// Points the program folder, the preferences folder and the system's port
// list at what a test gives, and puts all three back when it goes. An empty
// preferences folder leaves the real one in place.
class SystemSeams {
public:
    SystemSeams(const QString& programFolder, const QStringList& ports, const QString& preferencesFolder = {});
    ~SystemSeams();
    SystemSeams(const SystemSeams&) = delete;
    SystemSeams& operator=(const SystemSeams&) = delete;
};

// The pointer enters the widget, as when the user moves onto it.
void pointerEnters(QWidget* widget);

// The item of the window's menu bar that has this name, or nullptr.
QAction* menuItem(QMainWindow& window, const QString& name);

// Real files in a test's temporary folder.
bool writeFile(const QString& path, const QByteArray& bytes);
// The file's bytes, or "<unreadable>".
QByteArray fileBytes(const QString& path);

// A description of `size` bytes whose output list is one line of commas, its
// limit 30 and its output-select command "INST " and the output's number;
// `commas` tells how many there are.
QByteArray longOutputsDescription(qint64 size, qint64* commas = nullptr);

// The most memory the process has held at once (resident, VmHWM) since the
// last resetPeakMemory(), in bytes, or -1 when the system does not say. The
// reset starts the peak anew from what is held now.
qint64 peakMemory();
bool resetPeakMemory();

// Commands as the supply receives them, each with its carriage return.
QStringList commands(std::initializer_list<const char*> list);
// The texts of commands as they arrived.
QStringList texts(const std::vector<Pty::Arrival>& arrivals);
// The first arrival outside [due - earlyMs, due + lateMs], dueMs counted from
// `from`, described for a failure message; empty when all came in time.
QString outsideSchedule(const std::vector<Pty::Arrival>& arrivals, std::chrono::steady_clock::time_point from,
                        const QList<int>& dueMs, int earlyMs, int lateMs);

// Runs the application's event loop until it ends or timeoutMs pass; its
// exit status, or nothing when it had to be ended from here.
std::optional<int> execWithin(int timeoutMs);

// Ends the test program with a message when what it guards has not finished
// within the limit: a call that blocks for good fails its test at once
// instead of holding up the whole run until the runner's timeout.
class Watchdog {
public:
    explicit Watchdog(const QString& what, std::chrono::seconds limit = std::chrono::seconds(30));
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_finished;
    bool m_done = false;
    std::thread m_thread; // last: it starts once the others are there
};

// Answers the program's dialogs the way a test says the user will. A dialog
// or message box that the test did not expect is recorded, answered with
// cancel, and reported by unexpected().
class ScriptedDialogs : public dialogs::Handler {
public:
    ScriptedDialogs() { dialogs::setHandlerForTesting(this); }
    ~ScriptedDialogs() override { dialogs::setHandlerForTesting(nullptr); }

    void nextOpenFile(const QString& path) { m_openAnswers.push_back(path); }
    void nextSaveFile(const QString& path) { m_saveAnswers.push_back(path); }
    void expectMessages() { m_messagesExpected = true; }

    QString openFile(const QStringList& filters) override;
    QString saveFile() override;
    void message(const QString& text) override;

    QStringList messages;
    QStringList lastOpenFilters;
    QStringList unexpected;

private:
    std::deque<QString> m_openAnswers;
    std::deque<QString> m_saveAnswers;
    bool m_messagesExpected = false;
};

} // namespace zorv::testing
