// Makes the README's picture of a run under way: the window on the offscreen
// platform, the single-output example chosen, a pseudo-terminal as the port
// (listed under a name a user would see), the example script opened with the
// button, Start pressed, and the picture taken while the script holds its
// highest voltage. The same program makes the same bytes on every run.
//
//   zorv_screenshot OUTPUT.png

#include "framework/PortList.h"
#include "mainwindow/PwrSupWindow.h"
#include "support/BenchWindow.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QImage>
#include <QPixmap>
#include <cstdio>

using namespace zorv;
using namespace zorv::testing;

namespace {

const QString kExamples = QStringLiteral(ZORV_EXAMPLES_DIR);
const QString kModel = QStringLiteral("Example single-output SCPI");
// The command the picture shows last: the ramp's top, held for three seconds.
const QString kShownCommand = QStringLiteral("VOLT 6.000\r");
// The pseudo-terminal's own name changes from run to run and is one the
// system's list never shows.
const QString kShownPort = QStringLiteral("ttyUSB0");

int fail(const char* what)
{
    std::fprintf(stderr, "zorv_screenshot: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2)
        return fail("usage: zorv_screenshot OUTPUT.png");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QString output = QString::fromLocal8Bit(argv[1]);

    BenchWindow bench;
    if (!bench.isValid())
        return fail("no pseudo-terminal or temporary folder");
    if (!bench.addModelsFrom(kExamples).contains(kModel + QStringLiteral(".dep")))
        return fail("could not copy the example description");

    PwrSupWindow& window = bench.window();
    bench.chooseModel(kModel);
    // The window asks the list once for the rows it shows, then once more
    // for the port behind the row it opens: the first answer is the name to
    // show, the second the pseudo-terminal.
    int questions = 0;
    ports::setPortQueryForTesting([&] {
        return questions++ % 2 == 0 ? QStringList{kShownPort} : QStringList{bench.pty().slavePath()};
    });
    bench.enterPortList();
    // A real port of that name must never be the one opened.
    if (window.SerialPortPopup->text() != kShownPort || !window.Serial1->isOpen()
        || window.Serial1->portName() == kShownPort)
        return fail("the port list did not show its name, or the pseudo-terminal did not open");
    bench.dialogs().nextOpenFile(kExamples + QStringLiteral("/ramp-and-hold.txt"));
    window.openTextBtn->click();
    if (!bench.dialogs().messages.isEmpty() || !window.StartButton->isEnabled())
        return fail("the example did not load, or Start stayed disabled");

    window.StartButton->click();
    const QDeadlineTimer deadline(10000);
    while (window.CmdTxt->text() != kShownCommand && !deadline.hasExpired()) {
        bench.pty().read(20); // the supply's end of the line takes what arrives
        QApplication::processEvents();
    }
    if (window.CmdTxt->text() != kShownCommand || window.StartButton->caption() != u"Stop")
        return fail("the run did not reach the ramp's top");

    // A few hundred colours of flat controls and text: a palette and the
    // strongest compression keep the file small without a visible change.
    const QImage picture = window.grab().toImage().convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
    const bool saved = picture.save(output, "PNG", 0);
    window.StartButton->click();
    if (!saved)
        return fail("could not write the picture");
    std::printf("zorv_screenshot: wrote %s\n", qPrintable(output));
    return 0;
}
