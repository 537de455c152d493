// Stands in for a serial port: makes a pseudo-terminal, runs a command with
// its slave's path in ZORV_DEMO_PTY, and prints every command that arrives at
// the other end, with its time since the first and the line settings it
// came with, until the command ends. `make demo` runs ZORV this way, with the
// pseudo-terminal bound over the device node of a listed port.
//
//   zorv_relay --first-port                 the first port "Port:" lists
//   zorv_relay [--port NAME] -- COMMAND...  relay while COMMAND runs

#include "framework/PortList.h"
#include "support/Pty.h"
#include "tools/LineSettings.h"

#include <QCoreApplication>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace zorv;

namespace {

int fail(const char* what)
{
    std::fprintf(stderr, "zorv_relay: %s\n", what);
    return 2;
}

// The bytes as they must be written into a description: printable ASCII as
// it stands, everything else escaped, so a stray blank or line end shows.
QByteArray shown(const QByteArray& bytes)
{
    QByteArray text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r')
            text += "\\r";
        else if (c == '\n')
            text += "\\n";
        else if (c == '\t')
            text += "\\t";
        else if (c == '\\')
            text += "\\\\";
        else if (byte >= 0x20 && byte < 0x7f)
            text += c;
        else
            text += "\\x" + QByteArray::number(byte, 16).rightJustified(2, '0');
    }
    return text;
}

// "9600 8N1"; data bits and parity are '?' where the line does not keep them.
QByteArray settingsText(int fd, bool framing)
{
    const auto line = tools::lineSettings(fd);
    if (!line)
        return "?";
    QByteArray text = QByteArray::number(line->baud) + ' ';
    text += framing ? QByteArray::number(line->dataBits) + line->parity : QByteArray("??");
    return text + QByteArray::number(line->stopBits);
}

int firstPort()
{
    const QStringList names = ports::names();
    if (names.isEmpty())
        return 1;
    std::printf("%s\n", qPrintable(names.first()));
    return 0;
}

void tellRow(const QString& port)
{
    const qsizetype row = ports::names().indexOf(port);
    if (row < 0)
        std::printf("%s is not in the list of ports; the program cannot choose it.\n", qPrintable(port));
    else
        std::printf("In \"Port:\", choose %s (row %lld of the list). Its commands appear here as they arrive;\n"
                    "quit the program to end.\n",
                    qPrintable(port), static_cast<long long>(row + 1));
}

pid_t start(char** command, const QString& slavePath)
{
    const pid_t child = ::fork();
    if (child != 0)
        return child;
    std::signal(SIGINT, SIG_DFL);
    ::setenv("ZORV_DEMO_PTY", qPrintable(slavePath), 1);
    ::execvp(command[0], command);
    std::fprintf(stderr, "zorv_relay: cannot run %s\n", command[0]);
    ::_exit(127);
}

int relay(testing::Pty& pty, pid_t child, bool framing)
{
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> first;
    int commands = 0;
    QByteArray pending;
    int status = 0;
    for (bool running = true; running;) {
        pollfd fd{pty.masterFd(), POLLIN, 0};
        const int ready = ::poll(&fd, 1, 100);
        running = ::waitpid(child, &status, WNOHANG) == 0;
        // After the command's end, whatever it wrote last is still taken.
        if ((ready > 0 && (fd.revents & POLLIN)) || !running) {
            const QByteArray data = testing::readAvailable(pty.masterFd());
            if (data.isEmpty())
                continue;
            const auto now = Clock::now();
            const QByteArray settings = settingsText(pty.masterFd(), framing);
            pending.append(data);
            for (const QByteArray& command : testing::takeCommands(pending)) {
                if (!first)
                    first = now;
                const double seconds = std::chrono::duration<double>(now - *first).count();
                std::printf("%10.3f s  %-11s %s\n", seconds, settings.constData(), shown(command).constData());
                ++commands;
            }
            std::fflush(stdout);
        }
    }
    if (!pending.isEmpty())
        std::printf("bytes after the last carriage return: %s\n", shown(pending).constData());
    std::printf("The program ended; %d command%s arrived.\n", commands, commands == 1 ? "" : "s");
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    if (argc == 2 && QByteArray(argv[1]) == "--first-port")
        return firstPort();

    int next = 1;
    QString port;
    if (next + 1 < argc && QByteArray(argv[next]) == "--port") {
        port = QString::fromLocal8Bit(argv[next + 1]);
        next += 2;
    }
    if (next >= argc || QByteArray(argv[next]) != "--" || next + 1 >= argc)
        return fail("usage: zorv_relay --first-port | zorv_relay [--port NAME] -- COMMAND...");

    testing::Pty pty;
    if (!pty.isValid())
        return fail("no pseudo-terminal");
    // One slave descriptor of our own, never read: without it the master
    // reports a hang-up, over and over, whenever the program has the port
    // closed.
    const int slave = ::open(qPrintable(pty.slavePath()), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0)
        return fail("cannot open the pseudo-terminal");
    ::fcntl(pty.masterFd(), F_SETFD, FD_CLOEXEC);

    if (!port.isEmpty())
        tellRow(port);
    const bool framing = tools::keepsDataBitsAndParity(slave);
    if (!framing)
        std::printf("This system's pseudo-terminals keep no data bits or parity (always 8, none): they show as ??.\n");
    std::printf("%12s  %-11s %s\n", "time", "line", "command");
    std::fflush(stdout);

    // Ctrl+C is for the program, which ends and lets the relay say so.
    std::signal(SIGINT, SIG_IGN);
    const pid_t child = start(argv + next + 1, pty.slavePath());
    if (child < 0)
        return fail("cannot start the command");
    const int status = relay(pty, child, framing);
    ::close(slave);
    return status;
}
