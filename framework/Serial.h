#pragma once

#include <QObject>
#include <QString>

class QSerialPort;

namespace zorv {

// The serial line, with the integer codes that description files use:
// baud 0..15 (300 .. 230400 bit/s), bits = data bits - 5, stop 0/1/2 for
// 1/1.5/2 stop bits, parity 0 none, 1 odd, 2 even. An unknown code leaves
// that setting as it was.
class Serial : public QObject {
    Q_OBJECT
public:
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
    void close();
    bool isOpen() const;
    // Applies the line settings to the open port.
    void reset();
    // Hands the bytes to the system at once and returns; fails quietly when
    // the port is closed or has vanished.
    void write(const QString& text);
    // Returns when what was written has left, or as soon as nothing has left
    // for a few character times (the supply has stopped taking data), and
    // never later than the queued bytes need at the line's rate plus a margin.
    void xmitWait();

    static int baudRate(int code);

private:
    void applySettings();

    QSerialPort* m_port;
    int m_baud = 13;
    int m_bits = 3;
    int m_stop = 0;
    int m_parity = 0;
};

} // namespace zorv
