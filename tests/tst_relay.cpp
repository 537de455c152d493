// The relay behind `make demo`: it runs a command with a pseudo-terminal's
// slave in ZORV_DEMO_PTY and prints each command that arrives at the master,
// its time since the first, the line settings it came with, and its bytes as
// a description writes them. Here a shell stands in for the program.

#include "support/Pty.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

const QString kRelay = QStringLiteral(ZORV_RELAY);

struct Relayed {
    double seconds;
    QString line;
    QString command;
};

// Linux's pseudo-terminals read back 8 data bits and no parity whatever
// they are set to on recent kernels; the relay shows those as "??" then.
bool ptysKeepDataBitsAndParity()
{
    zorv::testing::Pty pty;
    const int slave = ::open(qPrintable(pty.slavePath()), O_RDWR | O_NOCTTY);
    termios t{};
    ::tcgetattr(slave, &t);
    t.c_cflag = (t.c_cflag & ~CSIZE) | CS7 | PARENB;
    ::tcsetattr(slave, TCSANOW, &t);
    ::tcgetattr(slave, &t);
    ::close(slave);
    return (t.c_cflag & CSIZE) == CS7 && (t.c_cflag & PARENB);
}

QString framed(const char* kept, const char* dataBitsAndParity)
{
    QString line = QString::fromLatin1(kept);
    if (!ptysKeepDataBitsAndParity())
        line.replace(QString::fromLatin1(dataBitsAndParity), QStringLiteral("??"));
    return line;
}

} // namespace

class RelayTest : public QObject {
    Q_OBJECT

private slots:
    void relaysCommandsWithTimesAndLineSettings()
    {
        // Each printf opens and closes the port, as the program does when
        // the pointer enters "Port:"; the second command comes in two pieces.
        // The settings are read as a command arrives, so the shell waits
        // before it changes them.
        const QString child = QStringLiteral(R"(
            pty=$ZORV_DEMO_PTY
            stty -F "$pty" 9600 cs8 -parenb -cstopb
            printf 'SYST:REM\r' >"$pty"
            sleep 0.5
            stty -F "$pty" 115200 cs7 parenb -parodd cstopb
            printf 'VOLT ' >"$pty"
            sleep 0.3
            printf '2.000\r' >"$pty"
            sleep 0.3
            stty -F "$pty" 1200 cs5 parenb parodd -cstopb
            printf '\r' >"$pty"
            printf 'A\tb\\\001\r' >"$pty"
            printf 'OUT' >"$pty"
            exit 3
        )");
        QProcess relay;
        relay.start(kRelay, {QStringLiteral("--"), QStringLiteral("sh"), QStringLiteral("-c"), child});
        QVERIFY(relay.waitForFinished(30000));
        const QString output = QString::fromUtf8(relay.readAllStandardOutput());
        QCOMPARE(relay.exitStatus(), QProcess::NormalExit);
        QCOMPARE(relay.exitCode(), 3);

        static const QRegularExpression row(QStringLiteral(R"(^ *(\d+\.\d{3}) s  (\S+ \S+) +(.*)$)"));
        QList<Relayed> relayed;
        for (const QString& text : output.split(QLatin1Char('\n'))) {
            const auto match = row.match(text);
            if (match.hasMatch())
                relayed.append({match.captured(1).toDouble(), match.captured(2), match.captured(3)});
        }
        QCOMPARE(relayed.size(), 4);
        QCOMPARE(relayed[0].seconds, 0.0);
        QCOMPARE(relayed[0].line, framed("9600 8N1", "8N"));
        QCOMPARE(relayed[0].command, QStringLiteral("SYST:REM\\r"));
        // The command counts from its carriage return, 0.8 s on; the shell
        // may be slow on a loaded machine, never fast.
        QVERIFY2(relayed[1].seconds >= 0.75 && relayed[1].seconds < 10, qPrintable(output));
        QCOMPARE(relayed[1].line, framed("115200 7E2", "7E"));
        QCOMPARE(relayed[1].command, QStringLiteral("VOLT 2.000\\r"));
        QCOMPARE(relayed[2].line, framed("1200 5O1", "5O"));
        QCOMPARE(relayed[2].command, QStringLiteral("\\r"));
        QCOMPARE(relayed[3].command, QStringLiteral("A\\tb\\\\\\x01\\r"));
        QVERIFY2(relayed[3].seconds >= relayed[1].seconds, qPrintable(output));
        QVERIFY2(output.contains(QStringLiteral("bytes after the last carriage return: OUT\n")), qPrintable(output));
        QVERIFY2(output.contains(QStringLiteral("4 commands arrived")), qPrintable(output));
    }
};

QTEST_GUILESS_MAIN(RelayTest)
#include "tst_relay.moc"
