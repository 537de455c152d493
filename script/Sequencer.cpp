#include "mainwindow/PwrSupWindow.h"

#include "framework/Strings.h"
#include "script/Script.h"

namespace zorv {

void PwrSupWindow::PSComTimer_Action()
{
    // The command goes out first, so that nothing adds latency before it;
    // the single shot that brought us here is spent already.
    Serial1->write(Command);
    PSComTimer->setMode(0);
    PSComTimer->setMode(ComTimMode);
    PSComTimer->setPeriod(TimerPeriod);
    CmdTxt->setText(Command);
    ++CommandIndex;

    const std::int32_t delay = ToInt32(Val(PSIntrComDelay));
    auto voltSetCommand = [this](const QString& line) {
        const double volts = (script::lineVolts(line) * VoltMult) / Val(PSComVoltSetUnit);
        return script::command(PSComVoltSetPre, PSComVoltSetFormat, PSComVoltSetPost, volts, LineTerm);
    };

    if (CommandIndex == -3) {
        Command = PSComPSInitPre + LineTerm;
        TimerPeriod = delay;
        ComTimMode = 1;
    }
    if (CommandIndex == -2) {
        Command = script::command(PSComOutSelPre, PSComOutSelFormat, PSComOutSelPost, Val(OutNumberPopup->text()),
                                  LineTerm);
        TimerPeriod = delay;
        ComTimMode = 1;
    }
    if (CommandIndex == -1) {
        Command = PSComOutInitPre + LineTerm;
        TimerPeriod = delay;
        ComTimMode = 1;
    }
    if (CommandIndex == 0) {
        const QString first = myEditField->line(1);
        const double t1 = script::lineTime(first);
        if (t1 == 0.0) {
            Command = voltSetCommand(first);
            CommandIndex = 1;
        } else {
            TimerPeriod = script::holdMs(0.0, t1, TimeMult);
        }
        ComTimMode = 1;
    }
    if (CommandIndex > 0) {
        if (ComTimMode == 0) {
            if (ZeroCommand.isEmpty()) {
                restoreAfterRun(true);
            } else {
                ZeroVTimer->setPeriod(2000);
                ZeroVTimer->setMode(1);
            }
            return;
        }
        const QString line = myEditField->line(CommandIndex);
        Command = voltSetCommand(line);
        const QString next = myEditField->line(CommandIndex + 1);
        if (next.isEmpty()) {
            ComTimMode = 0;
        } else {
            TimerPeriod = script::holdMs(script::lineTime(line), script::lineTime(next), TimeMult);
            ComTimMode = 1;
        }
    }
}

} // namespace zorv
