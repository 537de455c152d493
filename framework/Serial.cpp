#include "framework/Serial.h"

#include "framework/TextStream.h"

#include <QSerialPort>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <array>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace zorv {
namespace {

using namespace std::chrono_literals;

// A handler's wait gives up on a line that has taken nothing for this many
// of its longest characters (start, 8 data bits, parity, 2 stop bits), and a
// margin for the system to show what left.
constexpr qint64 kStallChars = 4;
constexpr qint64 kLongestFrameBits = 12;
constexpr qint64 kStallMarginMs = 200;
// However the line drains, a handler's wait ends within this: the zero-volt
// tick waits twice and must still let the window answer within a second.
constexpr std::chrono::milliseconds kHandlerBound = 300ms;
// The wait before the program ends holds on to a line that took something
// this recently, and ends within the bound in any case.
constexpr std::chrono::milliseconds kPartingStall = 1500ms;
constexpr std::chrono::milliseconds kPartingBound = 3000ms;
// What the system is handed at a time: whole commands that the line carries
// in this long, one alone when it is more; at Stop no more than that can be
// ahead of the zero. A pseudo-terminal is handed commands at the same
// pace as the line it stands in for: what its far side has not read sits in
// the system's buffer, where it can no longer be dropped.
constexpr std::chrono::milliseconds kLineBudget = 20ms;
// A line that takes nothing is tried again this often, less often the longer
// it stays so.
constexpr int kMinPollMs = 2;
constexpr int kMaxPollMs = 32;

constexpr std::array<int, 16> kBaudRates{300, 600, 1200, 1800, 2400, 3600, 4800, 7200,
                                         9600, 14400, 19200, 28800, 38400, 57600, 115200, 230400};

// One character on the line: start bit, data bits, parity bit and stop bits
// (1.5 counted as 2), at the line's rate.
std::chrono::nanoseconds charTime(int rate, int bits, int stop, int parity)
{
    const qint64 frameBits = 1 + 5 + bits + (parity != 0 ? 1 : 0) + (stop == 0 ? 1 : 2);
    return std::chrono::nanoseconds(frameBits * 1'000'000'000 / rate);
}

// Bytes still in the system's output queue of the port, 0 when unknown.
qint64 systemQueued([[maybe_unused]] QSerialPort* port)
{
#ifdef Q_OS_UNIX
    int queued = 0;
    if (port->isOpen() && ::ioctl(static_cast<int>(port->handle()), TIOCOUTQ, &queued) == 0)
        return queued;
#endif
    return 0;
}

// Whether the device under an open port has gone: unplugged, or the other
// side of a pseudo-terminal closed. A full output queue fails a write as a
// vanished device does, and must not close the port.
bool deviceGone([[maybe_unused]] QSerialPort* port)
{
#ifdef Q_OS_UNIX
    if (!port->isOpen())
        return false;
    pollfd fd{static_cast<int>(port->handle()), 0, 0};
    return ::poll(&fd, 1, 0) > 0 && (fd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
    return true;
#endif
}

#ifdef Q_OS_UNIX
bool takesData(int fd)
{
    pollfd p{fd, POLLOUT, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & POLLOUT) != 0;
}
#endif

} // namespace

Serial::Serial(QObject* parent)
    : QObject(parent), m_port(new QSerialPort(this)), m_handOverTimer(new QTimer(this)),
      m_charTime(charTime(baudRate(m_baud), m_bits, m_stop, m_parity)), m_pollMs(kMinPollMs)
{
    m_handOverTimer->setSingleShot(true);
    m_handOverTimer->setTimerType(Qt::PreciseTimer);
    connect(m_handOverTimer, &QTimer::timeout, this, [this] { scheduleHandOver(handOver()); });
    // Nothing is read from the supply; what it sends is dropped so that it
    // cannot pile up.
    connect(m_port, &QSerialPort::readyRead, this, [this] { m_port->readAll(); });
    // A device that vanished keeps signalling; closing it makes later writes
    // fail quietly instead.
    connect(m_port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        if (error == QSerialPort::ResourceError && deviceGone(m_port))
            close();
    }, Qt::QueuedConnection);
}

Serial::~Serial()
{
    close();
}

int Serial::baudRate(int code)
{
    return code >= 0 && code < static_cast<int>(kBaudRates.size()) ? kBaudRates[static_cast<std::size_t>(code)] : 0;
}

void Serial::setPortName(const QString& name)
{
    m_port->setPortName(name);
}

QString Serial::portName() const
{
    return m_port->portName();
}

void Serial::setBaud(int code)
{
    if (baudRate(code) > 0)
        m_baud = code;
}

void Serial::setBits(int code)
{
    if (code >= 0 && code <= 3)
        m_bits = code;
}

void Serial::setStop(int code)
{
    if (code >= 0 && code <= 2)
        m_stop = code;
}

void Serial::setParity(int code)
{
    if (code >= 0 && code <= 2)
        m_parity = code;
}

bool Serial::open()
{
    close();
    if (!m_port->open(QIODevice::ReadWrite))
        return false;
    const Clock::time_point now = Clock::now();
    m_lineFreeAt = now;
    m_lastTaken = now;
    m_pollMs = kMinPollMs;
#ifdef Q_OS_UNIX
    const int fd = static_cast<int>(m_port->handle());
    // What another session left in the system's queue is dropped, and the
    // first of it may have been half sent; a line that takes nothing at all
    // may hold a command cut short on its far side. The next run must not
    // glue its first command to either.
    const bool leftBehind = systemQueued(m_port) > 0;
    if (leftBehind)
        ::tcflush(fd, TCOFLUSH);
    if (leftBehind || !takesData(fd))
        m_cutAheadOn = portName();
#endif
    applySettings();
    return true;
}

void Serial::close()
{
    if (!m_port->isOpen())
        return;
    dropQueued();
    if (!deviceGone(m_port)) {
        // The system finishes what it holds after the close, at the settings
        // the line keeps; what is still here of a command that has begun is
        // lost with the port.
        xmitWait();
        if (!m_going.isEmpty())
            m_cutAheadOn = portName();
    }
    closeKeepingSettings();
}

void Serial::closeKeepingSettings()
{
    m_handOverTimer->stop();
    m_going.clear();
    if (!m_port->isOpen())
        return;
#ifdef Q_OS_UNIX
    // QSerialPort's close puts back the settings it found at open, at once
    // and with no drain (Qt 6 has no way to turn that off): the last bytes in
    // a UART or an adapter would go out at the old rate, garbled, and the
    // port would be left as no run set it. Its close meets /dev/null in the
    // port's place instead, and the port itself is closed here.
    const int fd = static_cast<int>(m_port->handle());
    const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    const int null = own >= 0 ? ::open("/dev/null", O_RDWR | O_CLOEXEC) : -1;
    const bool swapped = null >= 0 && ::dup3(null, fd, O_CLOEXEC) == fd;
    if (null >= 0)
        ::close(null);
    m_port->close();
    if (own >= 0) {
        if (swapped)
            ::ioctl(own, TIOCNXCL);
        ::close(own);
    }
#else
    m_port->close();
#endif
    m_port->clearError();
}

bool Serial::isOpen() const
{
    return m_port->isOpen();
}

void Serial::reset()
{
    if (!m_port->isOpen())
        return;
    dropQueued();
    // New settings under bytes still going out would garble them.
    xmitWait();
    applySettings();
}

void Serial::applySettings()
{
    m_port->setBaudRate(baudRate(m_baud));
    m_port->setDataBits(static_cast<QSerialPort::DataBits>(QSerialPort::Data5 + m_bits));
#ifdef Q_OS_UNIX
    // Termios has no 1.5 stop bits, and QSerialPort quietly sets 1 for them;
    // the nearest the line can do is 2.
    static constexpr QSerialPort::StopBits oneAndHalf = QSerialPort::TwoStop;
#else
    static constexpr QSerialPort::StopBits oneAndHalf = QSerialPort::OneAndHalfStop;
#endif
    static constexpr std::array<QSerialPort::StopBits, 3> stops{QSerialPort::OneStop, oneAndHalf,
                                                                 QSerialPort::TwoStop};
    if (!m_port->setStopBits(stops[static_cast<std::size_t>(m_stop)]) && m_stop == 1)
        m_port->setStopBits(QSerialPort::TwoStop);
    static constexpr std::array<QSerialPort::Parity, 3> parities{QSerialPort::NoParity, QSerialPort::OddParity,
                                                                  QSerialPort::EvenParity};
    m_port->setParity(parities[static_cast<std::size_t>(m_parity)]);
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    m_port->clearError();
    m_charTime = charTime(baudRate(m_baud), m_bits, m_stop, m_parity);
}

void Serial::write(const QString& text)
{
    if (text.isEmpty() || !m_port->isOpen())
        return;
    QByteArray bytes = encodeText(text);
    m_queuedBytes += bytes.size();
    m_queue.push_back(std::move(bytes));
    // Behind others the command waits its turn, which the armed timer brings.
    if (!m_handOverTimer->isActive())
        scheduleHandOver(handOver());
}

void Serial::dropQueued()
{
    m_queue.clear();
    m_queuedBytes = 0;
}

qint64 Serial::budget() const
{
    return kLineBudget / m_charTime;
}

qint64 Serial::onLine() const
{
    qint64 bytes = systemQueued(m_port);
    const auto left = m_lineFreeAt - Clock::now();
    if (left.count() > 0)
        bytes = std::max<qint64>(bytes, (left + m_charTime - 1ns) / m_charTime);
    return bytes;
}

qint64 Serial::pending() const
{
    return m_queuedBytes + m_going.size() + onLine();
}

bool Serial::handOver()
{
    if (!m_port->isOpen())
        return false;
    bool handed = false;
    if (!m_going.isEmpty()) {
        const qint64 n = put(m_going.constData(), m_going.size());
        if (n > 0) {
            m_going.remove(0, n);
            handed = true;
        }
        if (!m_going.isEmpty())
            return handed;
    }
    QByteArray batch;
    while (!m_queue.empty()) {
        const qint64 line = onLine();
        const qint64 limit = budget() - line;
        // Whole commands that fit, or one alone on a free line.
        std::size_t count = 0;
        qint64 size = 0;
        for (const QByteArray& command : m_queue) {
            const bool fits = size + command.size() <= limit;
            if (!fits && !(count == 0 && line == 0))
                break;
            ++count;
            size += command.size();
            if (!fits)
                break;
        }
        if (count == 0)
            break;
        // One command, the usual case, goes as it is.
        const char* data = m_queue.front().constData();
        if (count > 1) {
            batch.clear();
            batch.reserve(size);
            for (std::size_t i = 0; i < count; ++i)
                batch += m_queue[i];
            data = batch.constData();
        }
        const qint64 n = put(data, size);
        if (n <= 0)
            break;
        handed = true;
        for (qint64 left = n; left > 0;) {
            QByteArray command = std::move(m_queue.front());
            m_queue.pop_front();
            m_queuedBytes -= command.size();
            if (command.size() > left)
                m_going = command.mid(left);
            left -= command.size();
        }
        if (n < size)
            break; // the system holds all it will take now
    }
    return handed;
}

qint64 Serial::put(const char* data, qint64 size)
{
#ifdef Q_OS_UNIX
    const ssize_t n = ::write(static_cast<int>(m_port->handle()), data, static_cast<std::size_t>(size));
    if (n < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && deviceGone(m_port))
            close();
        return 0;
    }
#else
    const qint64 n = m_port->write(data, size);
    if (n < 0)
        return 0;
#endif
    if (n > 0) {
        const Clock::time_point now = Clock::now();
        m_lastTaken = now;
        m_lineFreeAt = std::max(now, m_lineFreeAt) + n * m_charTime;
    }
    return n;
}

void Serial::scheduleHandOver(bool handed)
{
    if (!m_port->isOpen() || (m_queue.empty() && m_going.isEmpty())) {
        m_handOverTimer->stop();
        return;
    }
    m_pollMs = handed ? kMinPollMs : std::min(m_pollMs * 2, kMaxPollMs);
    std::chrono::milliseconds wait(m_pollMs);
    if (m_going.isEmpty()) {
        // The line is busy with what it was handed: back when it has room for
        // the next command, or for half the budget.
        const qint64 room = budget();
        const qint64 target = std::min(std::max<qint64>(0, room - m_queue.front().size()), room / 2);
        const auto due = m_lineFreeAt - target * m_charTime - Clock::now();
        if (due.count() > 0 && systemQueued(m_port) <= target)
            wait = std::chrono::ceil<std::chrono::milliseconds>(due);
    }
    m_handOverTimer->start(std::max(wait, 1ms));
}

std::chrono::milliseconds Serial::stallTime() const
{
    return std::chrono::milliseconds(kStallChars * kLongestFrameBits * 1000 / baudRate(m_baud) + kStallMarginMs);
}

void Serial::xmitWait(Patience patience)
{
    if (!m_port->isOpen())
        return;
    const bool parting = patience == Patience::Parting;
    const Clock::time_point bound = Clock::now() + (parting ? kPartingBound : kHandlerBound);
    const std::chrono::milliseconds stall = parting ? kPartingStall : stallTime();
    bool handed = handOver();
    qint64 left = pending();
    while (left > 0 && m_port->isOpen()) {
        const Clock::time_point now = Clock::now();
        if (now >= bound || now >= m_lastTaken + stall)
            break;
        QThread::usleep(500);
        handed = handOver() || handed;
        const qint64 still = pending();
        if (still < left)
            m_lastTaken = Clock::now();
        left = still;
    }
    scheduleHandOver(handed);
}

bool Serial::takeCutCommandAhead()
{
    if (!m_port->isOpen() || m_cutAheadOn.isEmpty() || m_cutAheadOn != portName())
        return false;
    m_cutAheadOn.clear();
    return true;
}

} // namespace zorv
