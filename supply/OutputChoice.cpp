#include "mainwindow/PwrSupWindow.h"

#include "framework/Strings.h"

namespace zorv {

void PwrSupWindow::OutNumberPopup_Change()
{
    const int field = OutNumberPopup->listIndex() + 1;
    VoltsMax = Val(NthField(VoltsMaxList, QStringLiteral(","), field));
    applyStartRule(!myEditField->isEmpty() && !PPSpopup->text().isEmpty()
                   && !SerialPortPopup->text().isEmpty());
}

} // namespace zorv
