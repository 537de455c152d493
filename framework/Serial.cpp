#include "framework/Serial.h"

#include "framework/TextStream.h"

#include <QDeadlineTimer>
#include <QSerialPort>
#include <QThread>
#include <array>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace zorv {
namespace {

// XmitWait gives up on a line that has taken nothing for this many of its
// longest characters (start, 8 data bits, parity, 2 stop bits), and a margin
// for the system to show what left.
constexpr qint64 kStallChars = 4;
constexpr qint64 kLongestFrameBits = 12;
constexpr qint64 kStallMarginMs = 200;

constexpr std::array<int, 16> kBaudRates{300, 600, 1200, 1800, 2400, 3600, 4800, 7200,
                                         9600, 14400, 19200, 28800, 38400, 57600, 115200, 230400};

// Bytes still in the system's output queue of the port, 0 when unknown.
int systemQueued([[maybe_unused]] QSerialPort* port)
{
#ifdef Q_OS_UNIX
    int queued = 0;
    if (port->isOpen() && ::ioctl(static_cast<int>(port->handle()), TIOCOUTQ, &queued) == 0)
        return queued;
#endif
    return 0;
}

// Whether the device under an open port has gone: unplugged, or the other
// side of a pseudo-terminal closed. A full output queue raises the same error
// as a vanished device, and must not close the port.
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

} // namespace

Serial::Serial(QObject* parent) : QObject(parent), m_port(new QSerialPort(this))
{
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

Serial::~Serial() = default;

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
    if (m_port->isOpen())
        m_port->close();
    if (!m_port->open(QIODevice::ReadWrite))
        return false;
    applySettings();
    return true;
}

void Serial::close()
{
    if (m_port->isOpen())
        m_port->close();
}

bool Serial::isOpen() const
{
    return m_port->isOpen();
}

void Serial::reset()
{
    if (m_port->isOpen())
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
}

void Serial::write(const QString& text)
{
    if (text.isEmpty() || !m_port->isOpen())
        return;
    const QByteArray bytes = encodeText(text);
    qsizetype sent = 0;
#ifdef Q_OS_UNIX
    // Straight to the device when nothing is queued before it: QSerialPort
    // switches its write notifier on around every write, which costs tens of
    // microseconds a command, and those add up over a run. What the device
    // does not take at once, and every failure, goes QSerialPort's way.
    if (m_port->bytesToWrite() == 0) {
        const ssize_t written = ::write(static_cast<int>(m_port->handle()), bytes.constData(),
                                        static_cast<std::size_t>(bytes.size()));
        if (written > 0)
            sent = written;
    }
    if (sent == bytes.size())
        return;
#endif
    m_port->write(bytes.constData() + sent, bytes.size() - sent);
    m_port->flush();
}

void Serial::xmitWait()
{
    if (!m_port->isOpen())
        return;
    qint64 queued = m_port->bytesToWrite() + systemQueued(m_port);
    if (queued == 0)
        return;
    const int rate = baudRate(m_baud);
    // Ten bits a byte at the line's rate, doubled, plus a margin for the
    // system: a line that only trickles is not waited on for ever.
    const QDeadlineTimer deadline(queued * 10 * 1000 * 2 / rate + 100);
    // A supply that stops taking data leaves the queue as it is; a working
    // line takes a character every character time.
    const qint64 stallMs = kStallChars * kLongestFrameBits * 1000 / rate + kStallMarginMs;
    QDeadlineTimer stall(stallMs);
    while (!deadline.hasExpired() && !stall.hasExpired() && m_port->isOpen()) {
        if (m_port->bytesToWrite() > 0) {
            const qint64 waitMs = qMin(deadline.remainingTime(), stall.remainingTime());
            if (!m_port->waitForBytesWritten(static_cast<int>(qMax<qint64>(1, waitMs))))
                break;
        } else {
            QThread::usleep(200);
        }
        const qint64 left = m_port->bytesToWrite() + systemQueued(m_port);
        if (left == 0)
            return;
        if (left < queued) {
            queued = left;
            stall.setRemainingTime(stallMs);
        }
    }
}

} // namespace zorv
