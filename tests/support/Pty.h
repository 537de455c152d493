#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <chrono>
#include <termios.h>
#include <vector>

namespace zorv::testing {

// Everything that can be read from fd now, without waiting for more.
QByteArray readAvailable(int fd);
// Takes the whole commands, each ended by its carriage return, off the front
// of what has arrived; an unfinished command stays in `pending`.
QList<QByteArray> takeCommands(QByteArray& pending);

// A pseudo-terminal pair: the program opens slavePath() as its serial port,
// the test reads what arrives at the master side.
class Pty {
public:
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }

    // What has arrived so far, waiting up to timeoutMs for anything at all.
    QByteArray read(int timeoutMs = 0);
    // Reads until `bytes` bytes have arrived or timeoutMs has passed; event
    // processing goes on meanwhile so the program's timers keep firing.
    QByteArray readUntil(qsizetype bytes, int timeoutMs);

    // Pieces of text as they arrived, each with its arrival time.
    struct Arrival {
        std::chrono::steady_clock::time_point at;
        QByteArray bytes;
    };
    // Collects arrivals split at carriage returns (one command each) until
    // `commands` commands have arrived or timeoutMs has passed, processing
    // events meanwhile.
    std::vector<Arrival> readCommands(int commands, int timeoutMs);

    // Reads until nothing has come for quietMs (or timeoutMs has passed),
    // event processing going on meanwhile.
    QByteArray readUntilQuiet(int quietMs, int timeoutMs);

    // The line settings as the slave side has them now.
    termios settings() const;

    // Stops the line as an adapter or a supply that takes no data does: the
    // program's writes find no room, and nothing it writes meanwhile is
    // lost; or lets it take data again.
    void setLineStopped(bool stopped);

    // Closes the master side: the line vanishes under the program.
    void closeMaster();

private:
    int m_master = -1;
    QString m_slavePath;
    QByteArray m_pending;
};

} // namespace zorv::testing
