// The script as the user keeps it: the check at Start, the units, opening
// and saving script files, and when Start may be pressed.

#include "app/FileTypes.h"
#include "mainwindow/PwrSupWindow.h"
#include "support/BenchTest.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QInputMethodEvent>
#include <QMimeData>
#include <QScopeGuard>
#include <QTest>
#include <QUrl>
#include <QtEndian>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <memory>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace zorv;
using namespace zorv::testing;

// What a file saved over was, besides its text.
enum class Was { OtherOwner, OtherGroup, Acl, Attribute, Setgid, TwoNames, SetgidTwoNames, LongName, InLockedFolder };
Q_DECLARE_METATYPE(Was)
enum class Room { Enough, SizeLimit, FullDisk };
Q_DECLARE_METATYPE(Room)

namespace {

const QString kStale = QStringLiteral("a message from before");

// A Unix-domain socket bound at name; it stays on the disk once closed.
bool makeSocket(const QByteArray& name)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (name.size() >= static_cast<qsizetype>(sizeof address.sun_path))
        return false;
    std::memcpy(address.sun_path, name.constData(), static_cast<size_t>(name.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

// Drags data onto the area and drops it there; true when the area took the drag.
bool drop(TextArea* area, QMimeData& data)
{
    QWidget* target = area->viewport();
    const QPoint at(4, 4);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &move);
    QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &dropped);
    return enter.isAccepted();
}

constexpr uid_t kNobody = 65534;
const char* const kAcl = "system.posix_acl_access";
const char* const kNote = "user.note";

// An ACL that lets user kNobody read and write too, in the form the kernel
// keeps (little-endian tag, permissions, id).
QByteArray aclForNobody()
{
    const auto put = [](QByteArray& into, auto value) {
        const auto little = qToLittleEndian(value);
        into.append(reinterpret_cast<const char*>(&little), sizeof little);
    };
    const quint32 anyone = 0xffffffff;
    QByteArray acl;
    put(acl, quint32(2));
    for (const auto& [tag, permissions, id] : {std::tuple<quint16, quint16, quint32>{0x01, 6, anyone},
                                               {0x02, 6, kNobody},
                                               {0x04, 4, anyone},
                                               {0x10, 6, anyone},
                                               {0x20, 0, anyone}}) {
        put(acl, tag);
        put(acl, permissions);
        put(acl, id);
    }
    return acl;
}

// The file's extended attribute of that name; null when it has none.
QByteArray attribute(const QString& path, const char* name)
{
    QByteArray value(4096, Qt::Uninitialized);
    const ssize_t size = ::lgetxattr(QFile::encodeName(path).constData(), name, value.data(), 4096);
    return size < 0 ? QByteArray() : value.left(size);
}

} // namespace

class ScriptTest : public BenchTest {
    Q_OBJECT

private:
    // A model and a port chosen, the script set and a stale message shown.
    void setUpWithScript(const QString& script, const BenchDescription& description = {})
    {
        m_bench->setUp(description, script);
        window().ErrorText->setText(kStale);
    }

    QStringList entries() const
    {
        return QDir(m_bench->folder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    }

    // Presses Save in a child process that may write files of at most
    // `sizeLimit` bytes and takes SIGXFSZ as a new program does; `asUser`:
    // run by root, the child saves as user kNobody. The messages it showed,
    // or how it ended otherwise.
    QStringList saveInChild(rlim_t sizeLimit, bool asUser)
    {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            return {QStringLiteral("no pipe")};
        const Watchdog watchdog(QStringLiteral("a save in a child process"));
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(out[0]);
            std::signal(SIGXFSZ, SIG_DFL);
            rlimit limit{};
            ::getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = sizeLimit;
            if (sizeLimit != RLIM_INFINITY && ::setrlimit(RLIMIT_FSIZE, &limit) != 0)
                ::_exit(3);
            if (asUser && geteuid() == 0
                && (::setgroups(0, nullptr) != 0 || ::setresgid(kNobody, kNobody, kNobody) != 0
                    || ::setresuid(kNobody, kNobody, kNobody) != 0))
                ::_exit(3);
            window().saveTextBtn->click();
            const QByteArray said = dialogs().messages.join(u'\n').toUtf8();
            ::_exit(::write(out[1], said.constData(), size_t(said.size())) == said.size() ? 0 : 4);
        }
        ::close(out[1]);
        QByteArray said;
        char piece[512];
        for (ssize_t got; (got = ::read(out[0], piece, sizeof piece)) != 0;)
            if (got > 0)
                said.append(piece, got);
            else if (errno != EINTR)
                break;
        ::close(out[0]);
        int status = 0;
        if (child < 0 || ::waitpid(child, &status, 0) != child)
            return {QStringLiteral("no child process")};
        if (WIFSIGNALED(status))
            return {QStringLiteral("ended by signal %1").arg(WTERMSIG(status))};
        if (WEXITSTATUS(status) != 0)
            return {QStringLiteral("exit status %1").arg(WEXITSTATUS(status))};
        return said.isEmpty() ? QStringList() : QString::fromUtf8(said).split(u'\n');
    }

private slots:
    void initTestCase()
    {
        FileTypes::_Initialize();
    }

    void scriptCheck_data()
    {
        QTest::addColumn<QString>("voltsMaxList");
        QTest::addColumn<int>("unitsRow");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("message");

        const QString max = QStringLiteral("Script has out of range voltage. Power supply max.:");
        const QString min = QStringLiteral("Script has out of range voltage. Power supply min.:");
        QTest::addRow("max 30: 30 and 0 in range") << "30" << 0 << "0,30\r1,0" << QString();
        QTest::addRow("max 30: 30.5 above") << "30" << 0 << "0,30.5" << max + "30, asking30.5";
        QTest::addRow("max 30: -1 below 0") << "30" << 0 << "0,-1" << max + "30, asking-1";
        QTest::addRow("min -20: -20 and 0 in range") << "-20" << 0 << "0,-20\r1,0" << QString();
        QTest::addRow("min -20: -20.5 below") << "-20" << 0 << "0,-20.5" << min + "-20, asking-20.5";
        QTest::addRow("min -20: 1 above 0") << "-20" << 0 << "0,1" << min + "-20, asking1";
        QTest::addRow("limit 0: 0 in range") << "0" << 0 << "0,0\r1,0" << QString();
        QTest::addRow("limit 0: anything else") << "0" << 0 << "0,0.5" << min + "0, asking0.5";
        QTest::addRow("no limit line reads as 0") << "" << 0 << "0,-3" << min + "0, asking-3";
        QTest::addRow("millivolts checked as written") << "30" << 1 << "0,5000" << max + "30, asking5000";
        QTest::addRow("the last message wins") << "30" << 0 << "0,31\r1,5\r2,-2\r3,6" << max + "30, asking-2";
        QTest::addRow("a line in range keeps the message") << "30" << 0 << "0,31\r1,5" << max + "30, asking31";
        QTest::addRow("lines after an empty line unchecked") << "30" << 0 << "0,5\r\r1,99" << QString();
        QTest::addRow("empty first line: nothing checked") << "30" << 0 << "\r0,99" << QString();
        QTest::addRow("no comma, empty field: 0 volts") << "-20" << 0 << "5\r1,\r2,x" << QString();
    }

    // The check only reports; the run starts whatever it found.
    void scriptCheck()
    {
        QFETCH(QString, voltsMaxList);
        QFETCH(int, unitsRow);
        QFETCH(QString, script);
        QFETCH(QString, message);

        BenchDescription description;
        description.voltsMaxList = voltsMaxList;
        setUpWithScript(script, description);
        window().UnitsPopup->setListIndex(unitsRow);
        QVERIFY(window().StartButton->isEnabled());
        window().StartButton->click();
        QCOMPARE(window().ErrorText->text(), message);
        QCOMPARE(window().StartButton->caption(), QStringLiteral("Stop"));
        QCOMPARE(window().PSComTimer->mode(), 1);
        window().StartButton->click();
        QCOMPARE(window().StartButton->caption(), QStringLiteral("Start"));
        QCOMPARE(window().ErrorText->text(), message); // Stop leaves it
    }

    void units_data()
    {
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("voltMult");
        QTest::addColumn<double>("timeMult");
        QTest::addRow("seconds, volts") << 3 << 0 << "Seconds, Volts" << 1.0 << 1.0;
        QTest::addRow("seconds, millivolts") << 0 << 1 << "Seconds, Milivolts" << 0.001 << 1.0;
        QTest::addRow("minutes, volts") << 0 << 2 << "Minutes, Volts" << 1.0 << 60.0;
        QTest::addRow("minutes, millivolts") << 0 << 3 << "Minutes, Milivolts" << 0.001 << 60.0;
        QTest::addRow("no row keeps the units") << 3 << -1 << "" << 0.001 << 60.0;
    }

    void units()
    {
        QFETCH(int, before);
        QFETCH(int, row);
        QFETCH(QString, text);
        QFETCH(double, voltMult);
        QFETCH(double, timeMult);

        PopupMenu* units = window().UnitsPopup;
        QCOMPARE(window().VoltMult, 1.0);
        QCOMPARE(window().TimeMult, 1.0);
        units->setListIndex(before);
        if (row >= 0) {
            units->setListIndex(row);
        } else {
            units->setListIndex(-1); // selects nothing and raises nothing
            window().UnitsPopup_Change();
        }
        QCOMPARE(units->text(), text);
        QCOMPARE(window().VoltMult, voltMult);
        QCOMPARE(window().TimeMult, timeMult);
    }

    void open_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("modelChosen");
        QTest::addColumn<bool>("portChosen");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("startEnabled");
        QTest::addRow("lines") << QByteArray("0,5\r1,6") << true << true << "0,5\r1,6\r\r" << true;
        QTest::addRow("ends in a line end") << QByteArray("0,5\r") << true << true << "0,5\r\r\r" << true;
        QTest::addRow("line feeds become line ends") << QByteArray("0,5\n1,6\r\n") << true << true
                                                     << "0,5\r1,6\r\r\r" << true;
        QTest::addRow("empty file") << QByteArray() << true << true << "\r\r" << true;
        // What a binary file holds, kept as it is, however the area draws it.
        QTest::addRow("a long line of control characters")
            << QByteArray("0,5") + QByteArray(300, '\0') + "\x1f\x7f\xE4\xB8\xAD" << true << true
            << QStringLiteral("0,5") + QString(300, QChar(u'\0')) + QStringLiteral("\x1f\x7f\u4E2D\r\r") << true;
        QTest::addRow("no model chosen") << QByteArray("0,5") << false << true << "0,5\r\r" << false;
        QTest::addRow("no port chosen") << QByteArray("0,5") << true << false << "0,5\r\r" << false;
    }

    // The open enables Start, but the text's own rule has the last word.
    void open()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, modelChosen);
        QFETCH(bool, portChosen);
        QFETCH(QString, text);
        QFETCH(bool, startEnabled);

        m_bench->addModel(QStringLiteral("Bench"), {});
        if (modelChosen)
            m_bench->chooseModel(QStringLiteral("Bench"));
        if (portChosen)
            m_bench->enterPortList();
        window().myEditField->setText(QStringLiteral("9,9"));
        window().ErrorText->setText(kStale);

        const QString path = inFolder(QStringLiteral("wave.txt"));
        QVERIFY(writeFile(path, content));
        dialogs().nextOpenFile(path);
        // TextChange comes twice: with the file's text, then with the two
        // line ends after it.
        QStringList changes;
        connect(window().myEditField, &QPlainTextEdit::textChanged, this,
                [&] { changes << window().myEditField->text(); });
        window().openTextBtn->click();

        QCOMPARE(changes, (QStringList{text.chopped(2), text}));
        QCOMPARE(dialogs().lastOpenFilters.size(), 1);
        QVERIFY(dialogs().lastOpenFilters.first().startsWith(QStringLiteral("text/plain (")));
        QCOMPARE(window().myEditField->text(), text);
        QCOMPARE(window().StartButton->isEnabled(), startEnabled);
        QCOMPARE(window().ErrorText->text(), QString());
    }

    void openWithoutText_data()
    {
        QTest::addColumn<QString>("chosen"); // relative to the folder; empty: cancelled
        QTest::addColumn<QStringList>("messages");
        const QStringList notText{QStringLiteral("The selected file is not a text file.")};
        QTest::addRow("cancelled") << QString() << QStringList();
        QTest::addRow("a folder") << "sub" << notText;
        QTest::addRow("a file gone meanwhile") << "gone.txt" << notText;
    }

    // Nothing changes: not the text, not Start, not even the old message.
    void openWithoutText()
    {
        QFETCH(QString, chosen);
        QFETCH(QStringList, messages);

        setUpWithScript(QStringLiteral("0,5"));
        QVERIFY(window().StartButton->isEnabled());
        QVERIFY(QDir(m_bench->folder()).mkdir(QStringLiteral("sub")));
        dialogs().expectMessages();
        dialogs().nextOpenFile(chosen.isEmpty() ? QString() : inFolder(chosen));
        window().openTextBtn->click();

        QCOMPARE(dialogs().messages, messages);
        QCOMPARE(window().myEditField->text(), QStringLiteral("0,5"));
        QVERIFY(window().StartButton->isEnabled());
        QCOMPARE(window().ErrorText->text(), kStale);
    }

    void pasteOrDrop_data()
    {
        QTest::addColumn<bool>("paste"); // false: a drop
        QTest::addColumn<QString>("format"); // empty: the data carries no text
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("uriList"); // the addresses the data carries, if any
        QTest::addColumn<QByteArray>("mozUrl");
        QTest::addColumn<bool>("picture");
        QTest::addColumn<QString>("script"); // what the area holds after it; empty: the data is refused
        const QByteArray utf16("0\0,\0" "1\0\n\0" "1\0,\0" "2\0", 14);
        const QByteArray wave("file:///home/user/wave.txt");
        const QByteArray notes("file:///home/user/my%20notes%C3%A9.txt"); // "my notesé.txt"
        const QByteArray twoFiles = wave + "\r\n" + notes + "\r\n";
        const QString mozUrl = QString::fromLatin1(wave) + QStringLiteral("\nwave.txt");
        const QByteArray mozUrlBytes(reinterpret_cast<const char*>(mozUrl.utf16()), mozUrl.size() * 2);
        for (const bool paste : {true, false}) {
            const char* way = paste ? "paste" : "drop";
            QTest::addRow("%s: text/plain", way) << paste << "text/plain" << QByteArray("0,1\n1,2") << QByteArray()
                                                 << QByteArray() << false << "0,1\r1,2";
            QTest::addRow("%s: text/plain;charset=utf-8", way)
                << paste << "text/plain;charset=utf-8" << QByteArray("0,1\r\n1,2\r2,\xc2\xb5") << QByteArray()
                << QByteArray() << false << QStringLiteral("0,1\r1,2\r2,\u00b5");
            QTest::addRow("%s: a charset other than UTF-8", way) << paste << "Text/Plain; charset=\"UTF-16LE\"" << utf16
                                                                 << QByteArray() << QByteArray() << false << "0,1\r1,2";
            QTest::addRow("%s: UTF-16 with its last character cut off", way)
                << paste << "text/plain;charset=UTF-16LE" << utf16 + '3' << QByteArray() << QByteArray() << false
                << QStringLiteral("0,1\r1,2\uFFFD");
            QTest::addRow("%s: Shift_JIS with its last character cut off", way)
                << paste << "text/plain;charset=Shift_JIS" << QByteArray("0,1 \x82\xa0\x82") << QByteArray()
                << QByteArray() << false << QStringLiteral("0,1 \u3042\uFFFD");
            QTest::addRow("%s: a file's address alone", way)
                << paste << "" << QByteArray() << wave + "\r\n" << QByteArray() << false << "";
            QTest::addRow("%s: a picture alone", way)
                << paste << "" << QByteArray() << QByteArray() << QByteArray() << true << "";
            QTest::addRow("%s: text that comes with an address", way)
                << paste << "text/plain;charset=utf-8" << QByteArray("0,1") << wave + "\r\n" << QByteArray() << false
                << "0,1";
            // Qt's X11 bridge offers a list of addresses as text/plain too,
            // each shown decoded and followed by a line feed.
            QTest::addRow("%s: addresses also offered as text/plain", way)
                << paste << "text/plain" << QStringLiteral("file:///home/user/wave.txt\nfile:///home/user/my notes\u00e9.txt\n").toUtf8()
                << twoFiles << QByteArray() << false << "";
            QTest::addRow("%s: addresses as encoded text, CR LF", way)
                << paste << "text/plain;charset=utf-8" << twoFiles << twoFiles << QByteArray() << false << "";
            // A file manager's copy: text/uri-list, text/x-moz-url, text/plain.
            QTest::addRow("%s: a copied file, its path as text", way)
                << paste << "text/plain" << QByteArray("/home/user/wave.txt\n") << wave + "\r\n" << mozUrlBytes
                << false << "";
            QTest::addRow("%s: a copied file, text as text/x-moz-url has it", way)
                << paste << "text/plain" << mozUrl.toUtf8() << QByteArray() << mozUrlBytes << false << "";
            QTest::addRow("%s: text that holds an address among other words", way)
                << paste << "text/plain" << QByteArray("0,1 see file:///home/user/wave.txt\n") << wave + "\r\n"
                << QByteArray() << false << "0,1 see file:///home/user/wave.txt\r";
        }
    }

    // Only text is taken into the script, in whatever text format it comes,
    // and not text that only repeats the addresses of dragged or copied
    // files: they would play as lines of 0 V.
    void pasteOrDrop()
    {
        QFETCH(bool, paste);
        QFETCH(QString, format);
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, uriList);
        QFETCH(QByteArray, mozUrl);
        QFETCH(bool, picture);
        QFETCH(QString, script);

        setUpWithScript(QString());
        auto* data = new QMimeData;
        if (!format.isEmpty())
            data->setData(format, bytes);
        if (!uriList.isEmpty())
            data->setData(QStringLiteral("text/uri-list"), uriList);
        if (!mozUrl.isEmpty())
            data->setData(QStringLiteral("text/x-moz-url"), mozUrl);
        if (picture)
            data->setImageData(QImage(8, 8, QImage::Format_RGB32));

        if (paste) {
            QApplication::clipboard()->setMimeData(data);
            window().myEditField->paste();
        } else {
            const std::unique_ptr<QMimeData> dropped(data);
            QCOMPARE(drop(window().myEditField, *dropped), !script.isEmpty());
        }

        QCOMPARE(window().myEditField->text(), script);
        // Data that inserts nothing raises no TextChange, which would clear the message.
        QCOMPARE(window().ErrorText->text(), script.isEmpty() ? kStale : QString());
    }

    void lineSeparatorEndsALine_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<QKeySequence>("key"); // the line separator's key
        QTest::addColumn<QByteArray>("saved");
        const QByteArray twoLines("1,2\r3,4");
        QTest::addRow("typed as a character") << "typed" << QKeySequence() << twoLines;
        for (const QKeySequence& key : QKeySequence::keyBindings(QKeySequence::InsertLineSeparator))
            QTest::addRow("key %s", qPrintable(key.toString())) << "key" << key << twoLines;
        QTest::addRow("input method commit") << "input method" << QKeySequence() << twoLines;
        QTest::addRow("paste") << "paste" << QKeySequence() << twoLines;
        QTest::addRow("drop") << "drop" << QKeySequence() << twoLines;
        QTest::addRow("open") << "open" << QKeySequence() << QByteArray("1,2\r3,4\r\r");
    }

    // A line separator (U+2028) ends a line however it comes in: the run
    // reads, and the save writes, the two lines the user sees.
    void lineSeparatorEndsALine()
    {
        QFETCH(QString, way);
        QFETCH(QKeySequence, key);
        QFETCH(QByteArray, saved);

        setUpWithScript(QString());
        TextArea* area = window().myEditField;
        area->setFocus();
        const QString text = QStringLiteral("1,2") + QChar(QChar::LineSeparator) + QStringLiteral("3,4");
        if (way == QStringLiteral("typed") || way == QStringLiteral("key")) {
            QTest::keyClicks(area, QStringLiteral("1,2"));
            if (key.isEmpty())
                QTest::sendKeyEvent(QTest::Click, area, Qt::Key_unknown, QString(QChar::LineSeparator),
                                    Qt::NoModifier);
            else
                QTest::keySequence(area, key);
            QTest::keyClicks(area, QStringLiteral("3,4"));
        } else if (way == QStringLiteral("input method")) {
            QInputMethodEvent commit;
            commit.setCommitString(text);
            QCoreApplication::sendEvent(area, &commit);
        } else if (way == QStringLiteral("paste")) {
            auto* data = new QMimeData;
            data->setText(text);
            QApplication::clipboard()->setMimeData(data);
            area->paste();
        } else if (way == QStringLiteral("drop")) {
            QMimeData data;
            data.setText(text);
            QVERIFY(drop(area, data));
        } else {
            const QString path = inFolder(QStringLiteral("wave.txt"));
            QVERIFY(writeFile(path, text.toUtf8()));
            dialogs().nextOpenFile(path);
            window().openTextBtn->click();
        }

        QCOMPARE(area->line(1), QStringLiteral("1,2"));
        QCOMPARE(area->line(2), QStringLiteral("3,4"));
        const QString path = inFolder(QStringLiteral("saved.txt"));
        dialogs().nextSaveFile(path);
        window().saveTextBtn->click();
        QCOMPARE(fileBytes(path), saved);
    }

    void save_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("before"); // a file already there; null: none
        QTest::addColumn<QByteArray>("saved");
        QTest::addRow("line ends kept as they are") << "0,5\r1,6\r\r" << QByteArray() << QByteArray("0,5\r1,6\r\r");
        QTest::addRow("no line end added") << "0,5" << QByteArray() << QByteArray("0,5");
        QTest::addRow("a long line of control characters")
            << QString(300, QChar(u'\0')) + QStringLiteral("\x01\u4E2D\r\r") << QByteArray()
            << QByteArray(300, '\0') + "\x01\xE4\xB8\xAD\r\r";
        QTest::addRow("empty text, empty file") << "" << QByteArray() << QByteArray("");
        QTest::addRow("replaces a longer file whole")
            << "1,2" << QByteArray("0,1\r0.5,2\r1,3\r1.5,4\r") << QByteArray("1,2");
    }

    void save()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, saved);

        setUpWithScript(text);
        const QString path = inFolder(QStringLiteral("saved.txt"));
        if (!before.isNull())
            QVERIFY(writeFile(path, before));
        dialogs().nextSaveFile(path);
        window().saveTextBtn->click();

        QVERIFY(QFile::exists(path));
        QCOMPARE(fileBytes(path), saved);
        QCOMPARE(window().myEditField->text(), text);
        QCOMPARE(window().ErrorText->text(), kStale);
    }

    // Each open appends two line ends, and a save keeps them.
    void openThenSave()
    {
        const QString opened = inFolder(QStringLiteral("in.txt"));
        const QString saved = inFolder(QStringLiteral("out.txt"));
        QVERIFY(writeFile(opened, "0,5\r1,6"));
        dialogs().nextOpenFile(opened);
        dialogs().nextSaveFile(saved);
        window().openTextBtn->click();
        window().saveTextBtn->click();
        QCOMPARE(fileBytes(saved), QByteArray("0,5\r1,6\r\r"));
    }

    void saveCancelled()
    {
        setUpWithScript(QStringLiteral("0,5"));
        const QStringList before = QDir(m_bench->folder()).entryList(QDir::Files);
        dialogs().nextSaveFile(QString());
        window().saveTextBtn->click();
        QCOMPARE(QDir(m_bench->folder()).entryList(QDir::Files), before);
    }

    void saveIntoMissingFolder()
    {
        setUpWithScript(QStringLiteral("0,5"));
        const QString path = inFolder(QStringLiteral("no such folder/saved.txt"));
        dialogs().expectMessages();
        dialogs().nextSaveFile(path);
        window().saveTextBtn->click();
        QCOMPARE(dialogs().messages, QStringList{QStringLiteral("The text file could not be created.")});
        QVERIFY(!QFile::exists(path));
    }

    // The disk fills up in the middle of the write: reported, and the file
    // that was there stays whole, with nothing left beside it.
    void saveFailsWhileWriting()
    {
        QDir(m_bench->folder()).mkdir(QStringLiteral("scripts"));
        const QString folder = inFolder(QStringLiteral("scripts"));
        const QString path = folder + QStringLiteral("/saved.txt");
        QVERIFY(writeFile(path, "0,1\r"));
        setUpWithScript(QString(8192, u'7'));
        dialogs().expectMessages();
        dialogs().nextSaveFile(path);

        // A file size limit makes every regular file stop growing at 1 KiB.
        rlimit old{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = old;
        small.rlim_cur = 1024;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        window().saveTextBtn->click();
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);

        QCOMPARE(dialogs().messages, QStringList{QStringLiteral("The text file could not be saved.")});
        QCOMPARE(fileBytes(path), QByteArray("0,1\r"));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("saved.txt")});
    }

    void saveIntoReadOnlyFolder_data()
    {
        QTest::addColumn<QString>("onDisk"); // "file", "FIFO" or "" for nothing
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QByteArray>("saved"); // null: no file there after it
        const QStringList notCreated{QStringLiteral("The text file could not be created.")};
        QTest::addRow("a file there is written in place") << "file" << QStringList() << QByteArray("0,5\r1,6");
        QTest::addRow("no new file can be made") << "" << notCreated << QByteArray();
        QTest::addRow("a FIFO there is not opened") << "FIFO" << notCreated << QByteArray();
    }

    // No temporary file can be made beside the target: an existing file is
    // written in place, as a plain save would, and nothing else.
    void saveIntoReadOnlyFolder()
    {
        QFETCH(QString, onDisk);
        QFETCH(QStringList, messages);
        QFETCH(QByteArray, saved);

        if (geteuid() == 0)
            QSKIP("folder permissions do not hold for root");
        QDir(m_bench->folder()).mkdir(QStringLiteral("locked"));
        const QString folder = inFolder(QStringLiteral("locked"));
        const QString path = folder + QStringLiteral("/saved.txt");
        if (onDisk == u"file")
            QVERIFY(writeFile(path, "0,1\r0.5,2\r1,3\r"));
        else if (onDisk == u"FIFO")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        setUpWithScript(QStringLiteral("0,5\r1,6"));
        dialogs().expectMessages();
        dialogs().nextSaveFile(path);
        {
            const Watchdog watchdog(QString::fromUtf8(QTest::currentDataTag()));
            window().saveTextBtn->click();
        }
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

        QCOMPARE(dialogs().messages, messages);
        if (!saved.isNull())
            QCOMPARE(fileBytes(path), saved);
        else if (onDisk.isEmpty())
            QVERIFY(!QFile::exists(path));
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
                 onDisk.isEmpty() ? QStringList() : QStringList{QStringLiteral("saved.txt")});
    }

    void saveWhereNoOneCanWrite_data()
    {
        QTest::addColumn<QString>("path"); // relative: inside the test's folder
        QTest::addColumn<QString>("keep"); // a file that must stay as it was
        QTest::addRow("a file where the folder should be") << "notes.txt/saved.txt" << "notes.txt";
        QTest::addRow("a new file in /proc") << "/proc/zorv-saved.txt" << "/proc/version";
        QTest::addRow("a file of /proc") << "/proc/version" << "/proc/version";
    }

    // Unlike folder permissions, these hold for root too.
    void saveWhereNoOneCanWrite()
    {
        QFETCH(QString, path);
        QFETCH(QString, keep);

        if (path.startsWith(u'/') && !QFile::exists(QStringLiteral("/proc/version")))
            QSKIP("no /proc here");
        QVERIFY(writeFile(inFolder(QStringLiteral("notes.txt")), "0,1\r"));
        if (!path.startsWith(u'/')) {
            path = inFolder(path);
            keep = inFolder(keep);
        }
        const QByteArray kept = fileBytes(keep);
        const bool existed = QFile::exists(path);
        setUpWithScript(QStringLiteral("0,5\r1,6"));
        dialogs().expectMessages();
        dialogs().nextSaveFile(path);
        window().saveTextBtn->click();

        QCOMPARE(dialogs().messages, QStringList{QStringLiteral("The text file could not be created.")});
        QCOMPARE(fileBytes(keep), kept);
        QCOMPARE(QFile::exists(path), existed);
        QCOMPARE(window().myEditField->text(), QStringLiteral("0,5\r1,6"));
    }

    void saveTargets_data()
    {
        QTest::addColumn<QString>("target"); // what lies where the save's path leads
        QTest::addColumn<QString>("link"); // the save's path: a link there, "absolute" or "relative"; "": no link
        QTest::addColumn<bool>("written");
        QTest::addRow("a FIFO") << "FIFO" << "" << false;
        QTest::addRow("a link to a character device") << "device" << "absolute" << false;
        QTest::addRow("a socket") << "socket" << "" << false;
        QTest::addRow("a loop of links") << "loop" << "" << false;
        QTest::addRow("a link to a regular file") << "file" << "absolute" << true;
        QTest::addRow("a relative link to a regular file") << "file" << "relative" << true;
        QTest::addRow("a regular file") << "file" << "" << true;
    }

    // Saving renames a new file over the target: only a regular file may be
    // replaced so. Any other node stays as it was, of the same type.
    void saveTargets()
    {
        QFETCH(QString, target);
        QFETCH(QString, link);
        QFETCH(bool, written);

        const QString node = inFolder(QStringLiteral("node"));
        const QByteArray name = QFile::encodeName(node);
        if (target == u"FIFO") {
            QCOMPARE(::mkfifo(name.constData(), 0600), 0);
        } else if (target == u"device") {
            // The numbers of /dev/null, on a node of the test's own.
            if (::mknod(name.constData(), S_IFCHR | 0600, makedev(1, 3)) != 0)
                QSKIP("no permission to make a device node");
        } else if (target == u"socket") {
            QVERIFY(makeSocket(name));
        } else if (target == u"loop") {
            QVERIFY(QFile::link(inFolder(QStringLiteral("loop")), node));
            QVERIFY(QFile::link(node, inFolder(QStringLiteral("loop"))));
        } else {
            QVERIFY(writeFile(node, "0,1\r0.5,2\r1,3\r"));
        }
        struct stat before {};
        QCOMPARE(::lstat(name.constData(), &before), 0);
        const bool throughLink = !link.isEmpty();
        const QString path = throughLink ? inFolder(QStringLiteral("link")) : node;
        if (throughLink)
            QVERIFY(QFile::link(link == u"relative" ? QStringLiteral("node") : node, path));
        setUpWithScript(QStringLiteral("0,5\r1,6"));
        dialogs().expectMessages();
        dialogs().nextSaveFile(path);
        const QStringList entriesBefore = entries();
        {
            const Watchdog watchdog(QString::fromUtf8(QTest::currentDataTag()));
            window().saveTextBtn->click();
        }

        QCOMPARE(dialogs().messages,
                 written ? QStringList() : QStringList{QStringLiteral("The text file could not be created.")});
        struct stat after {};
        QCOMPARE(::lstat(name.constData(), &after), 0);
        QCOMPARE(after.st_mode & S_IFMT, before.st_mode & S_IFMT);
        if (!written) {
            QCOMPARE(after.st_ino, before.st_ino);
            QCOMPARE(after.st_rdev, before.st_rdev);
        } else {
            QCOMPARE(fileBytes(node), QByteArray("0,5\r1,6"));
        }
        if (throughLink)
            QCOMPARE(QFileInfo(path).symLinkTarget(), node);
        QCOMPARE(entries(), entriesBefore); // no temporary file left behind
    }

    void saveKeepsWhatTheFileWas_data()
    {
        QTest::addColumn<Was>("was");
        QTest::addColumn<Room>("room"); // for the new text
        QTest::addColumn<bool>("replaced"); // by a new file, not written in place
        QTest::addRow("another owner's file, saved by root") << Was::OtherOwner << Room::Enough << true;
        QTest::addRow("a file of another group") << Was::OtherGroup << Room::Enough << true;
        QTest::addRow("a file with an ACL") << Was::Acl << Room::Enough << true;
        QTest::addRow("a file with an extended attribute") << Was::Attribute << Room::Enough << true;
        QTest::addRow("a setgid file") << Was::Setgid << Room::Enough << true;
        QTest::addRow("a file of two names") << Was::TwoNames << Room::Enough << false;
        QTest::addRow("a setgid file of two names") << Was::SetgidTwoNames << Room::Enough << false;
        QTest::addRow("a name of 255 bytes") << Was::LongName << Room::Enough << true;
        QTest::addRow("file size limit: a name of 255 bytes") << Was::LongName << Room::SizeLimit << false;
        QTest::addRow("file size limit: written in place") << Was::InLockedFolder << Room::SizeLimit << false;
        QTest::addRow("full disk: written in place") << Was::InLockedFolder << Room::FullDisk << false;
    }

    // A save over a file keeps all the file was but its text: its owner,
    // group, mode, ACL, attributes and names. A new file takes its place
    // wherever it can be all of that, so that the old text is never half
    // overwritten. A save that fails for want of room leaves the old text
    // whole, also where the file is written in place.
    void saveKeepsWhatTheFileWas()
    {
        QFETCH(Was, was);
        QFETCH(Room, room);
        QFETCH(bool, replaced);

        const bool root = geteuid() == 0;
        QString folder = m_bench->folder();
        if (was == Was::InLockedFolder) {
            QVERIFY(QDir(folder).mkdir(QStringLiteral("locked")));
            folder = inFolder(QStringLiteral("locked"));
        }
        const QByteArray folderName = QFile::encodeName(folder);
        if (room == Room::FullDisk) {
            if (!root)
                QSKIP("mounting a small file system takes root");
            if (::mount("tmpfs", folderName.constData(), "tmpfs", 0, "size=64k,mode=0700") != 0)
                QSKIP(qPrintable(QStringLiteral("no small file system to fill: %1").arg(strerror(errno))));
        }
        const auto unmount = qScopeGuard([&] {
            if (room == Room::FullDisk)
                ::umount2(folderName.constData(), MNT_DETACH);
        });
        const QString path = folder + u'/'
                             + (was == Was::LongName ? QString(251, u'n') + QStringLiteral(".txt")
                                                     : QStringLiteral("saved.txt"));
        const QByteArray name = QFile::encodeName(path);
        const QString otherName = inFolder(QStringLiteral("other name.txt"));
        const QByteArray old("0,1\r0.5,2\r1,3\r");
        QVERIFY(writeFile(path, old));
        QCOMPARE(::chmod(name.constData(), 0640), 0);
        switch (was) {
        case Was::OtherOwner:
            if (!root)
                QSKIP("only root may give a file to another owner");
            QCOMPARE(::chown(name.constData(), kNobody, kNobody), 0);
            QCOMPARE(::chmod(name.constData(), 0600), 0);
            break;
        case Was::OtherGroup: {
            gid_t group = kNobody;
            if (!root) {
                std::vector<gid_t> groups(static_cast<size_t>(std::max(::getgroups(0, nullptr), 0)));
                groups.resize(static_cast<size_t>(std::max(::getgroups(int(groups.size()), groups.data()), 0)));
                const auto other = std::find_if(groups.begin(), groups.end(), [](gid_t g) { return g != getegid(); });
                if (other == groups.end())
                    QSKIP("the user belongs to no group but their own");
                group = *other;
            }
            QCOMPARE(::chown(name.constData(), static_cast<uid_t>(-1), group), 0);
            break;
        }
        case Was::Acl: {
            const QByteArray acl = aclForNobody();
            if (::setxattr(name.constData(), kAcl, acl.constData(), size_t(acl.size()), 0) != 0)
                QSKIP(qPrintable(QStringLiteral("the test folder holds no ACLs: %1").arg(strerror(errno))));
            QVERIFY(!attribute(path, kAcl).isNull());
            break;
        }
        case Was::Attribute:
            if (::setxattr(name.constData(), kNote, "kept", 4, 0) != 0)
                QSKIP(qPrintable(QStringLiteral("the test folder holds no user attributes: %1").arg(strerror(errno))));
            break;
        case Was::Setgid:
            QCOMPARE(::chmod(name.constData(), 02755), 0);
            break;
        case Was::TwoNames:
        case Was::SetgidTwoNames:
            QCOMPARE(::link(name.constData(), QFile::encodeName(otherName).constData()), 0);
            if (was == Was::SetgidTwoNames)
                QCOMPARE(::chmod(name.constData(), 02755), 0);
            break;
        case Was::LongName:
            break;
        case Was::InLockedFolder:
            // Folder permissions do not hold for root: root saves as another
            // user here, whose folder and file these become.
            if (root) {
                QCOMPARE(::chmod(QFile::encodeName(m_bench->folder()).constData(), 0711), 0);
                QCOMPARE(::chown(folderName.constData(), kNobody, kNobody), 0);
                QCOMPARE(::chown(name.constData(), kNobody, kNobody), 0);
            }
            break;
        }
        if (room == Room::FullDisk) {
            QFile filler(folder + QStringLiteral("/filler"));
            QVERIFY(filler.open(QIODevice::WriteOnly));
            const QByteArray block(4096, 'f');
            while (filler.write(block) == block.size() && filler.flush()) {
            }
        }
        if (was == Was::InLockedFolder)
            QCOMPARE(::chmod(folderName.constData(), 0500), 0);
        const auto unlock = qScopeGuard([&] { ::chmod(folderName.constData(), 0700); });
        struct stat before {};
        QCOMPARE(::lstat(name.constData(), &before), 0);
        const QByteArray aclBefore = attribute(path, kAcl);
        const QByteArray noteBefore = attribute(path, kNote);
        const auto folderEntries = [&] {
            return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        };
        const QStringList entriesBefore = folderEntries();

        const QString text = room == Room::Enough ? QStringLiteral("0,5\r1,6") : QString(8192, u'7');
        setUpWithScript(text);
        dialogs().expectMessages();
        dialogs().nextSaveFile(path);
        QStringList messages;
        if (room == Room::Enough) {
            window().saveTextBtn->click();
            messages = dialogs().messages;
        } else {
            messages = saveInChild(room == Room::SizeLimit ? 1024 : RLIM_INFINITY, was == Was::InLockedFolder);
        }

        const QStringList notSaved{QStringLiteral("The text file could not be saved.")};
        QCOMPARE(messages, room == Room::Enough ? QStringList() : notSaved);
        QCOMPARE(fileBytes(path), room == Room::Enough ? text.toLatin1() : old);
        struct stat after {};
        QCOMPARE(::lstat(name.constData(), &after), 0);
        QCOMPARE(after.st_uid, before.st_uid);
        QCOMPARE(after.st_gid, before.st_gid);
        QCOMPARE(QString::number(after.st_mode & 07777, 8), QString::number(before.st_mode & 07777, 8));
        QCOMPARE(attribute(path, kAcl), aclBefore);
        QCOMPARE(attribute(path, kNote), noteBefore);
        QCOMPARE(after.st_nlink, before.st_nlink);
        QCOMPARE(after.st_ino != before.st_ino, replaced);
        if (was == Was::TwoNames || was == Was::SetgidTwoNames)
            QCOMPARE(fileBytes(otherName), fileBytes(path));
        QCOMPARE(folderEntries(), entriesBefore); // no temporary file left behind
    }

    void textChangeRule_data()
    {
        QTest::addColumn<QString>("model"); // empty: none chosen
        QTest::addColumn<int>("outputRow"); // -1: none chosen
        QTest::addColumn<bool>("portChosen");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("startEnabled");
        QTest::addRow("one output, none chosen") << "Bench" << -1 << true << "0,5" << true;
        QTest::addRow("no model") << "" << -1 << true << "0,5" << false;
        QTest::addRow("no port") << "Bench" << -1 << false << "0,5" << false;
        QTest::addRow("empty text") << "Bench" << -1 << true << "" << false;
        QTest::addRow("line ends only count as text") << "Bench" << -1 << true << "\r\r" << true;
        QTest::addRow("outputs listed, none chosen") << "Multi" << -1 << true << "0,5" << false;
        QTest::addRow("outputs listed, one chosen") << "Multi" << 1 << true << "0,5" << true;
        QTest::addRow("outputs listed, one chosen, no port") << "Multi" << 0 << false << "0,5" << false;
    }

    // Every change of the text decides Start anew and clears the message.
    void textChangeRule()
    {
        QFETCH(QString, model);
        QFETCH(int, outputRow);
        QFETCH(bool, portChosen);
        QFETCH(QString, text);
        QFETCH(bool, startEnabled);

        BenchDescription multi;
        multi.outList = QStringLiteral("1,2");
        multi.voltsMaxList = QStringLiteral("10,20");
        m_bench->addModel(QStringLiteral("Bench"), {});
        m_bench->addModel(QStringLiteral("Multi"), multi);
        if (!model.isEmpty())
            m_bench->chooseModel(model);
        if (outputRow >= 0)
            m_bench->chooseOutput(outputRow);
        if (portChosen)
            m_bench->enterPortList();
        window().myEditField->setText(QStringLiteral("9,9"));
        window().StartButton->setEnabled(!startEnabled);
        window().ErrorText->setText(kStale);

        window().myEditField->setText(text);
        QCOMPARE(window().StartButton->isEnabled(), startEnabled);
        QCOMPARE(window().ErrorText->text(), QString());
    }

    void stopStaysDuringRun_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("chooseOutput"); // the output rule runs too
        QTest::addColumn<QString>("end");       // "click", "escape" or "" (the run ends by itself)
        QTest::addColumn<QStringList>("atEnd");
        const QString hold = QStringLiteral("0,5\r600,30"); // ten minutes at 5 V
        QTest::addRow("Stop clicked") << hold << false << "click" << commands({"VOLT 0.000"});
        QTest::addRow("Escape") << hold << false << "escape" << commands({"VOLT 0.000"});
        QTest::addRow("output chosen, Stop clicked") << hold << true << "click" << commands({"VOLT 0.000"});
        // The line prepared before the text went still goes out, and the
        // zero-volt command two seconds later ends the run.
        QTest::addRow("the run ends by itself")
            << "0,5\r0.2,6" << false << "" << commands({"VOLT 6.000", "VOLT 0.000"});
    }

    // Emptying the script during a run leaves Stop and Escape in reach; the
    // rule the script calls for is applied once the run is over.
    void stopStaysDuringRun()
    {
        QFETCH(QString, script);
        QFETCH(bool, chooseOutput);
        QFETCH(QString, end);
        QFETCH(QStringList, atEnd);

        setUpWithScript(script);
        m_bench->setZeroBox(true);
        window().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window()));
        window().StartButton->click();
        QCOMPARE(texts(pty().readCommands(5, 2000)), kBenchSetUp + commands({"VOLT 5.000"}));

        TextArea* area = window().myEditField;
        area->setFocus();
        QTest::keyClick(area, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(area, Qt::Key_Delete);
        QCOMPARE(area->text(), QString());
        if (chooseOutput)
            m_bench->chooseOutput(0);
        QCOMPARE(window().StartButton->caption(), QStringLiteral("Stop"));
        QVERIFY(window().StartButton->isEnabled());
        QCOMPARE(window().ErrorText->text(), QString());

        if (end == u"click")
            window().StartButton->click();
        else if (end == u"escape")
            QTest::keyClick(area, Qt::Key_Escape);
        QCOMPARE(texts(pty().readCommands(int(atEnd.size()), 4000)), atEnd);
        QTRY_COMPARE_WITH_TIMEOUT(window().StartButton->caption(), QStringLiteral("Start"), 3000);
        QVERIFY(!window().StartButton->isEnabled()); // nothing to start
        QVERIFY(window().SerialPortPopup->isEnabled());

        QTest::keyClicks(area, QStringLiteral("0,7"));
        QVERIFY(window().StartButton->isEnabled());
    }
};

QTEST_MAIN(ScriptTest)
#include "tst_script.moc"
