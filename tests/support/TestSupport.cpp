#include "support/TestSupport.h"

#include "framework/Files.h"
#include "framework/PortList.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QEnterEvent>
#include <QFile>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

namespace zorv::testing {

SystemSeams::SystemSeams(const QString& programFolder, const QStringList& ports, const QString& preferencesFolder)
{
    files::setProgramFolderForTesting(programFolder);
    files::setPreferencesFolderForTesting(preferencesFolder);
    zorv::ports::setPortsForTesting(ports);
}

SystemSeams::~SystemSeams()
{
    zorv::ports::setPortsForTesting(std::nullopt);
    files::setProgramFolderForTesting(QString());
    files::setPreferencesFolderForTesting(QString());
}

void pointerEnters(QWidget* widget)
{
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QCoreApplication::sendEvent(widget, &enter);
}

QAction* menuItem(QMainWindow& window, const QString& name)
{
    for (QAction* menu : window.menuBar()->actions())
        if (menu->menu())
            for (QAction* item : menu->menu()->actions())
                if (item->objectName() == name)
                    return item;
    return nullptr;
}

std::optional<int> execWithin(int timeoutMs)
{
    bool gaveUp = false;
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, qApp, [&gaveUp] {
        gaveUp = true;
        QCoreApplication::exit(1);
    });
    giveUp.start(timeoutMs);
    const int status = QApplication::exec();
    if (gaveUp)
        return std::nullopt;
    return status;
}

Watchdog::Watchdog(const QString& what, std::chrono::seconds limit)
    : m_thread([this, what = what.toLocal8Bit(), limit] {
          std::unique_lock<std::mutex> lock(m_mutex);
          if (!m_finished.wait_for(lock, limit, [this] { return m_done; })) {
              std::fprintf(stderr, "FAIL! %s: still not done after %lld s\n", what.constData(),
                           static_cast<long long>(limit.count()));
              std::fflush(stderr);
              std::_Exit(EXIT_FAILURE);
          }
      })
{
}

Watchdog::~Watchdog()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_done = true;
    }
    m_finished.notify_one();
    m_thread.join();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QByteArray longOutputsDescription(qint64 size, qint64* commas)
{
    const QByteArray head("*COMMAND OUTPUT SELECT*\n");
    const QByteArray tail("\n30\nINST \n0\n\n");
    const qint64 count = size - head.size() - tail.size();
    if (commas)
        *commas = count;
    return head + QByteArray(count, ',') + tail;
}

qint64 peakMemory()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            bool ok = false;
            const qint64 kb = line.mid(6).trimmed().chopped(3).trimmed().toLongLong(&ok); // "1234 kB"
            return ok ? kb * 1024 : -1;
        }
    }
    return -1;
}

bool resetPeakMemory()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

QStringList commands(std::initializer_list<const char*> list)
{
    QStringList result;
    for (const char* text : list)
        result.append(QString::fromUtf8(text) + u'\r');
    return result;
}

QStringList texts(const std::vector<Pty::Arrival>& arrivals)
{
    QStringList list;
    for (const Pty::Arrival& arrival : arrivals)
        list.append(QString::fromUtf8(arrival.bytes));
    return list;
}

QString outsideSchedule(const std::vector<Pty::Arrival>& arrivals, std::chrono::steady_clock::time_point from,
                        const QList<int>& dueMs, int earlyMs, int lateMs)
{
    for (std::size_t i = 0; i < arrivals.size() && i < static_cast<std::size_t>(dueMs.size()); ++i) {
        const auto at = std::chrono::duration_cast<std::chrono::milliseconds>(arrivals[i].at - from).count();
        const int due = dueMs[static_cast<qsizetype>(i)];
        if (at < due - earlyMs || at > due + lateMs)
            return QStringLiteral("%1 arrived at %2 ms, due at %3 ms")
                .arg(QString::fromUtf8(arrivals[i].bytes).trimmed())
                .arg(at)
                .arg(due);
    }
    return {};
}

QString ScriptedDialogs::openFile(const QStringList& filters)
{
    lastOpenFilters = filters;
    if (m_openAnswers.empty()) {
        unexpected.append(QStringLiteral("open dialog"));
        return {};
    }
    QString answer = m_openAnswers.front();
    m_openAnswers.pop_front();
    return answer;
}

QString ScriptedDialogs::saveFile()
{
    if (m_saveAnswers.empty()) {
        unexpected.append(QStringLiteral("save dialog"));
        return {};
    }
    QString answer = m_saveAnswers.front();
    m_saveAnswers.pop_front();
    return answer;
}

void ScriptedDialogs::message(const QString& text)
{
    messages.append(text);
    if (!m_messagesExpected)
        unexpected.append(QStringLiteral("message: ") + text);
}

} // namespace zorv::testing
