#include "support/Pty.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

namespace zorv::testing {

QByteArray readAvailable(int fd)
{
    QByteArray data;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return data;
        data.append(buffer, n);
    }
}

QList<QByteArray> takeCommands(QByteArray& pending)
{
    QList<QByteArray> commands;
    qsizetype end;
    while ((end = pending.indexOf('\r')) >= 0) {
        commands.append(pending.left(end + 1));
        pending.remove(0, end + 1);
    }
    return commands;
}

Pty::Pty()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_master < 0)
        return;
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        ::close(m_master);
        m_master = -1;
        return;
    }
    m_slavePath = QString::fromLocal8Bit(::ptsname(m_master));
    // Keep one slave descriptor open ourselves, raw, so the line's settings
    // stay put between the program's close and reopen of the port.
    termios raw{};
    const int slave = ::open(::ptsname(m_master), O_RDWR | O_NOCTTY);
    if (slave >= 0) {
        ::tcgetattr(slave, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(slave, TCSANOW, &raw);
        ::close(slave);
    }
}

Pty::~Pty()
{
    closeMaster();
}

void Pty::closeMaster()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

QByteArray Pty::read(int timeoutMs)
{
    if (m_master < 0)
        return {};
    pollfd fd{m_master, POLLIN, 0};
    if (::poll(&fd, 1, timeoutMs) <= 0)
        return {};
    return readAvailable(m_master);
}

QByteArray Pty::readUntil(qsizetype bytes, int timeoutMs)
{
    QByteArray data;
    QElapsedTimer clock;
    clock.start();
    while (data.size() < bytes && clock.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        data.append(read(1));
    }
    return data;
}

QByteArray Pty::readUntilQuiet(int quietMs, int timeoutMs)
{
    QByteArray data;
    QElapsedTimer clock;
    QElapsedTimer quiet;
    clock.start();
    quiet.start();
    while (quiet.elapsed() < quietMs && clock.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        const QByteArray more = read(1);
        if (!more.isEmpty()) {
            data.append(more);
            quiet.restart();
        }
    }
    return data;
}

std::vector<Pty::Arrival> Pty::readCommands(int commands, int timeoutMs)
{
    std::vector<Arrival> arrivals;
    QElapsedTimer clock;
    clock.start();
    while (static_cast<int>(arrivals.size()) < commands && clock.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        const QByteArray data = read(1);
        if (data.isEmpty())
            continue;
        const auto now = std::chrono::steady_clock::now();
        m_pending.append(data);
        for (QByteArray& command : takeCommands(m_pending))
            arrivals.push_back({now, std::move(command)});
    }
    return arrivals;
}

termios Pty::settings() const
{
    termios t{};
    if (m_master >= 0)
        ::tcgetattr(m_master, &t);
    return t;
}

void Pty::setLineStopped(bool stopped)
{
    if (m_master < 0)
        return;
    // The flow state belongs to the line, whichever descriptor sets it.
    const int slave = ::open(::ptsname(m_master), O_RDWR | O_NOCTTY);
    if (slave < 0)
        return;
    ::tcflow(slave, stopped ? TCOOFF : TCOON);
    ::close(slave);
}

} // namespace zorv::testing
