#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <chrono>
#include <deque>

class QSerialPort;
class QTimer;

namespace zorv {

// The serial line, with the integer codes that description files use:
// baud 0..15 (300 .. 230400 bit/s), bits = data bits - 5, stop 0/1/2 for
// 1/1.5/2 stop bits, parity 0 none, 1 odd, 2 even. An unknown code leaves
// that setting as it was.
//
// Commands wait in a queue of the port's own and are handed to the system
// whole, no more at a time than the line carries in a few tens of
// milliseconds, so that what has not begun to go out can still be dropped.
class Serial : public QObject {
    Q_OBJECT
public:
    // How long a wait holds on to a line that takes nothing, counted from the
    // moment it last took something.
    enum class Patience {
        // A handler's: a few character times, and never more than a third of
        // a second in all, so that the window answers again.
        Handler,
        // The last before the program ends: a supply that takes data in
        // bursts up to a second apart still gets what is waiting.
        Parting,
    };

    explicit Serial(QObject* parent = nullptr);
    ~Serial() override;

    void setPortName(const QString& name);
    QString portName() const;

    int baud() const { return m_baud; }
    int bits() const { return m_bits; }
    int stop() const { return m_stop; }
    int parity() const { return m_parity; }
    void setBaud(int code);
    void setBits(int code);
    void setStop(int code);
    void setParity(int code);

    bool open();
    // Drops what has not begun to go out, waits for the rest as XmitWait
    // does, and closes. The line keeps the settings it has: those of the
    // last run.
    void close();
    bool isOpen() const;
    // Applies the line settings to the open port once what has begun to go
    // out has left; what was queued before and has not begun is dropped.
    void reset();
    // Queues one command and returns: it goes out at once when the line is
    // free. Fails quietly when the port is closed or has vanished.
    void write(const QString& text);
    // Drops the commands that have not begun to go out; the one going out is
    // finished whole.
    void dropQueued();
    // Returns when what was written has left, or once the line has taken
    // nothing for a while (Patience), and never later than its bound; what
    // is left goes on going out while the event loop runs.
    void xmitWait(Patience patience = Patience::Handler);
    // Whether the line's far side may hold a command cut short (left by an
    // earlier session, or by a close that could not finish it), which the
    // next command would be glued to. True once per finding.
    bool takeCutCommandAhead();

    static int baudRate(int code);

private:
    using Clock = std::chrono::steady_clock;

    void applySettings();
    // Hands the system what the line has room for: the rest of the command
    // going out first, then whole commands.
    bool handOver();
    qint64 put(const char* data, qint64 size);
    // Bytes the line still has to send: in the system's queue, or by the
    // line's rate still on their way.
    qint64 onLine() const;
    qint64 pending() const;
    qint64 budget() const;
    std::chrono::milliseconds stallTime() const;
    void scheduleHandOver(bool handed);
    void closeKeepingSettings();

    QSerialPort* m_port;
    QTimer* m_handOverTimer;
    int m_baud = 13;
    int m_bits = 3;
    int m_stop = 0;
    int m_parity = 0;

    std::chrono::nanoseconds m_charTime; // one character at the settings applied
    int m_pollMs;
    std::deque<QByteArray> m_queue; // whole commands, none begun
    qint64 m_queuedBytes = 0;
    QByteArray m_going;             // the rest of the command that has begun
    Clock::time_point m_lineFreeAt{};  // when what was handed has left at the line's rate
    Clock::time_point m_lastTaken{};   // when the line last took something
    QString m_cutAheadOn;              // the port whose far side may hold a cut command
};

} // namespace zorv
