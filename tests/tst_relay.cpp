// The relay behind `make demo`: it runs a command with a pseudo-terminal's
// slave in ZORV_DEMO_PTY and prints each command that arrives at the master,
// its time since the first, the line settings it came with, and its bytes as
// a description writes them. Here a shell stands in for the program; and
// the demo itself, with this test program opening the port, has a folder of
// port locks of its own.

#include "support/Pty.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

const QString kRelay = QStringLiteral(ZORV_RELAY);
const QString kDemo = QStringLiteral(ZORV_DEMO);
// The folder QSerialPort takes its port locks in, the first of its list.
const QString kLocks = QStringLiteral("/var/lock");

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

// Waits for a file another process makes, up to 20 s.
bool waitForFile(const QString& path)
{
    const QDeadlineTimer deadline(20000);
    while (!QFile::exists(path)) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path + QStringLiteral(".part"));
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    file.close();
    QFile::rename(file.fileName(), path);
}

// The port locks as this process sees them: each entry of the lock folder
// with the process id its lock file names first.
QByteArray locksSeen()
{
    QByteArray seen;
    for (const QString& name : QDir(kLocks).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System,
                                                      QDir::Name)) {
        QFile lock(kLocks + QLatin1Char('/') + name);
        QByteArray pid = "?";
        if (lock.open(QIODevice::ReadOnly))
            pid = lock.readLine(32).trimmed();
        seen += name.toLocal8Bit() + ' ' + pid + '\n';
    }
    return seen;
}

// Run by the demo as its program: opens the port as the program does,
// writes a command, and while it holds the port tells what locks it sees;
// the test looks at the lock folder outside meanwhile, then lets it go.
int openPort(const QString& name, const QString& work)
{
    QSerialPort port(name);
    if (!port.open(QIODevice::ReadWrite)) {
        writeFile(work + QStringLiteral("/opened"), "open failed: " + port.errorString().toUtf8() + '\n');
        return 1;
    }
    port.write("PING\r");
    port.waitForBytesWritten(5000);
    writeFile(work + QStringLiteral("/opened"), "me " + QByteArray::number(QCoreApplication::applicationPid()) +
                                                    '\n' + locksSeen());
    const bool checked = waitForFile(work + QStringLiteral("/checked"));
    port.close();
    return checked ? 0 : 3;
}

// Holds a port's lock file, as a program on the machine that has the port
// open does, until the test lets it go.
int holdLock(const QString& path, const QString& work)
{
    QLockFile lock(path);
    if (!lock.tryLock())
        return 1;
    writeFile(work + QStringLiteral("/held"), QByteArray::number(QCoreApplication::applicationPid()));
    return waitForFile(work + QStringLiteral("/release")) ? 0 : 3;
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

    // The demo's namespace has a folder of port locks of its own: a lock
    // held on the machine does not keep the demo from opening the port, and
    // the demo's lock is never seen outside. "The machine" is a mount
    // namespace of the test's own with its own lock folder, so nothing of the
    // real machine is touched; the demo runs as root there, or as a normal
    // user (a user namespace with no other user mapped).
    void demoHasLockFolderOfItsOwn_data()
    {
        QTest::addColumn<bool>("asRoot");
        QTest::addColumn<bool>("heldOutside");
        QTest::newRow("as root, the port locked outside") << true << true;
        QTest::newRow("as root, nothing locked outside") << true << false;
        QTest::newRow("as a normal user, the port locked outside") << false << true;
        QTest::newRow("as a normal user, nothing locked outside") << false << false;
    }

    void demoHasLockFolderOfItsOwn()
    {
        QFETCH(bool, asRoot);
        QFETCH(bool, heldOutside);
        QProcess first;
        first.start(kRelay, {QStringLiteral("--first-port")});
        QVERIFY(first.waitForFinished(30000));
        const QString port = QString::fromLocal8Bit(first.readAllStandardOutput()).trimmed();
        if (first.exitCode() != 0 || port.isEmpty())
            QSKIP("this machine lists no serial port for the demo to stand in for");

        // Root makes the machine's namespace as it is; anyone else, and a
        // normal user for root, in a user namespace that keeps them who
        // they are, with the right to mount there.
        QStringList outer{QStringLiteral("unshare")};
        const bool root = ::getuid() == 0;
        if (asRoot && !root)
            outer << QStringLiteral("--map-root-user");
        if (!asRoot)
            outer << QStringLiteral("--map-user=%1").arg(root ? 65534 : ::getuid())
                  << QStringLiteral("--map-group=%1").arg(root ? 65534 : ::getgid()) << QStringLiteral("--keep-caps");
        outer << QStringLiteral("--mount");
        QProcess probe;
        probe.start(outer.first(), outer.mid(1) << QStringLiteral("true"));
        QVERIFY(probe.waitForFinished(30000));
        if (probe.exitCode() != 0)
            QSKIP(qPrintable(QStringLiteral("this system lets no user namespace be made here: ") +
                             QString::fromLocal8Bit(probe.readAllStandardError()).trimmed()));

        QTemporaryDir work;
        QVERIFY(work.isValid());
        const QString self = QCoreApplication::applicationFilePath();
        const QString lock = kLocks + QStringLiteral("/LCK..") + port;
        // The machine: a lock folder of its own over each real one, maybe a
        // program holding the port's lock, and a look at the folder while
        // the demo's program holds the port.
        const QString machine = QStringLiteral(R"(
            demo=$1 relay=$2 self=$3 work=$4 port=$5 lock=$6 held=$7
            for dir in /run/lock /var/lock; do
                [ -d "$dir" ] || continue
                real=$(cd "$dir" && pwd -P)
                [ "$real" = "${mounted-}" ] || mount -t tmpfs machine-locks "$real" || exit 100
                mounted=$real
            done
            if [ "$held" = 1 ]; then
                "$self" --hold-lock "$lock" "$work" &
                i=0; until [ -e "$work/held" ]; do i=$((i+1)); [ $i -lt 1000 ] || exit 101; sleep 0.02; done
            fi
            (
                i=0; until [ -e "$work/opened" ]; do i=$((i+1)); [ $i -lt 1000 ] || exit; sleep 0.02; done
                "$self" --list-locks "$work/outside"
                : >"$work/checked"
            ) &
            printf '#!/bin/sh
exec "%s" --open-port "%s" "%s"
' "$self" "$port" "$work" >"$work/program"
            chmod +x "$work/program"
            "$demo" "$relay" "$work/program"
            status=$?
            : >"$work/checked"
            : >"$work/release"
            wait
            exit $status
        )");
        QProcess demo;
        demo.start(outer.first(), outer.mid(1) << QStringList{QStringLiteral("sh"), QStringLiteral("-c"), machine,
                                                               QStringLiteral("sh"), kDemo, kRelay, self, work.path(),
                                                               port, lock,
                                                               QString::number(heldOutside ? 1 : 0)});
        QVERIFY(demo.waitForFinished(60000));
        const QString output = QString::fromUtf8(demo.readAllStandardOutput() + demo.readAllStandardError());

        auto read = [&work](const char* name) {
            QFile file(work.filePath(QString::fromLatin1(name)));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
        };
        const QByteArray opened = read("opened");
        QVERIFY2(opened.startsWith("me "), qPrintable(QString::fromUtf8(opened) + output));
        const QByteArray me = opened.mid(3, opened.indexOf('\n') - 3);
        // The demo's program sees its own lock alone, in a folder that was
        // empty; outside, only what the machine holds.
        QCOMPARE(opened, "me " + me + "\nLCK.." + port.toLocal8Bit() + ' ' + me + '\n');
        const QByteArray holder = read("held");
        QCOMPARE(read("outside"), heldOutside ? "LCK.." + port.toLocal8Bit() + ' ' + holder + '\n' : QByteArray());
        QVERIFY2(output.contains(QStringLiteral("  PING\\r\n")), qPrintable(output));
        QVERIFY2(output.contains(QStringLiteral("The program ended; 1 command arrived.")), qPrintable(output));
        QCOMPARE(demo.exitStatus(), QProcess::NormalExit);
        QVERIFY2(demo.exitCode() == 0, qPrintable(output));
    }
};

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 4 && arguments[1] == QLatin1String("--open-port"))
        return openPort(arguments[2], arguments[3]);
    if (arguments.size() == 4 && arguments[1] == QLatin1String("--hold-lock"))
        return holdLock(arguments[2], arguments[3]);
    if (arguments.size() == 3 && arguments[1] == QLatin1String("--list-locks")) {
        writeFile(arguments[2], locksSeen());
        return 0;
    }
    RelayTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_relay.moc"
