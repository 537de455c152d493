#include "mainwindow/PwrSupWindow.h"

#include "script/Script.h"

namespace zorv {

void PwrSupWindow::UnitsPopup_Change()
{
    if (const auto units = script::unitsForRow(UnitsPopup->listIndex())) {
        VoltMult = units->voltMult;
        TimeMult = units->timeMult;
    }
}

} // namespace zorv
