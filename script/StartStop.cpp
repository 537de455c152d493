#include "mainwindow/PwrSupWindow.h"

#include "framework/Strings.h"
#include "framework/Yield.h"
#include "script/Script.h"

namespace zorv {

void PwrSupWindow::StartButton_Action()
{
    if (StartButton->caption() != u"Start") {
        CmdTxt->setText(ZeroCommand);
        // What the run queued and has not begun to go out goes no further:
        // the zero is the next command the supply gets.
        Serial1->dropQueued();
        Serial1->write(ZeroCommand);
        Serial1->xmitWait();
        PSComTimer->setMode(0);
        restoreAfterRun(false);
        return;
    }

    // No run on a closed port (its open failed, or it vanished with the last
    // run): it would show commands as sent that went nowhere. Opening it is
    // the user's own act, so a failure is reported at every press.
    if (!Serial1->isOpen() && !openShownPort(true))
        return;

    // A zero-volt command still due from a run stopped within its two
    // seconds would land in the middle of this one, or, through the check's
    // yields, restore the controls while the check runs.
    ZeroVTimer->setMode(0);

    StartButton->setCaption(QStringLiteral("Checking..."));
    StartButton->setEnabled(false);
    StartButton->refresh();

    CommandIndex = 1;
    QString line = myEditField->line(CommandIndex);
    ErrorText->setText(QString());
    while (!line.isEmpty()) {
        if (const auto message = script::rangeMessage(script::lineVolts(line), VoltsMax))
            ErrorText->setText(*message);
        ++CommandIndex;
        line = myEditField->line(CommandIndex);
        yieldToEventLoop();
    }

    Serial1->setBaud(ToInt32(Val(PSBaudRate)));
    Serial1->setBits(ToInt32(Val(PSDataBits) - 5.0));
    Serial1->setStop(ToInt32(Val(PSStopBits) * 2.0 - 2.0));
    Serial1->setParity(ToInt32(Val(PSParity)));
    Serial1->reset();
    // A command cut short on the line's far side would swallow the run's
    // first one; a line end alone ends it first.
    if (Serial1->takeCutCommandAhead())
        Serial1->write(LineTerm);

    CommandIndex = -4;
    Command = script::command(PSComPSSelPre, PSComPSSelFormat, PSComPSSelPost, Val(DevNumberPopup->text()), LineTerm);
    TimerPeriod = ToInt32(Val(PSIntrComDelay));
    ComTimMode = 1;

    PSComTimer->setPeriod(10);
    PSComTimer->setMode(1);

    StartButton->setCaption(QStringLiteral("Stop"));
    StartButton->setEnabled(true);
    StartButton->setCancel(true);
    SerialPortPopup->setEnabled(false);
    PPSpopup->setEnabled(false);
}

void PwrSupWindow::applyStartRule(bool allowed)
{
    // A script emptied during a long hold must not take away Stop and Escape;
    // an edit while the script is checked must not offer a press that would
    // stop a run the check then starts all the same.
    if (StartButton->caption() == u"Checking...")
        return;
    if (!allowed && StartButton->caption() == u"Stop")
        return;
    StartButton->setEnabled(allowed);
}

void PwrSupWindow::restoreAfterRun(bool waitForPort)
{
    StartButton->setCaption(QStringLiteral("Start"));
    StartButton->setCancel(false);
    // What the rules could not do while Stop was shown.
    StartButton->setEnabled(scriptAllowsStart());
    if (waitForPort)
        Serial1->xmitWait();
    SerialPortPopup->setEnabled(true);
    PPSpopup->setEnabled(true);
}

} // namespace zorv
