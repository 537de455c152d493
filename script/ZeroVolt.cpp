#include "mainwindow/PwrSupWindow.h"

#include "framework/Strings.h"
#include "script/Script.h"

namespace zorv {

void PwrSupWindow::updateZeroCommand()
{
    ZeroCommand = ZeroVCheckBox->value()
                      ? script::command(PSComVoltSetPre, PSComVoltSetFormat, PSComVoltSetPost, 0.0, LineTerm)
                      : QString();
}

void PwrSupWindow::ZeroVCheckBox_Action()
{
    updateZeroCommand();
}

void PwrSupWindow::ZeroVTimer_Action()
{
    ZeroVTimer->setMode(0);
    Serial1->xmitWait();
    CmdTxt->setText(ZeroCommand);
    Serial1->write(ZeroCommand);
    restoreAfterRun(true);
}

void PwrSupWindow::zeroVoltsAtQuit()
{
    const bool running = StartButton->caption() != u"Start" || ZeroVTimer->mode() == 1;
    if (!running)
        return;
    // Nothing of the run may follow the zero, and quitting stops the run:
    // what it queued goes no further.
    PSComTimer->setMode(0);
    ZeroVTimer->setMode(0);
    Serial1->dropQueued();
    if (ZeroCommand.isEmpty())
        return;
    Serial1->write(ZeroCommand);
    Serial1->xmitWait(Serial::Patience::Parting);
}

} // namespace zorv
