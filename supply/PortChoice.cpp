#include "mainwindow/PwrSupWindow.h"

#include "framework/Dialogs.h"
#include "framework/PortList.h"
#include "framework/Strings.h"
#include "framework/Yield.h"

namespace zorv {

namespace {
constexpr int kLastUsablePort = 122;
}

void PwrSupWindow::SerialPortPopup_MouseEnter()
{
    const QString shown = SerialPortPopup->text();
    SerialPortCount = ports::count();
    SerialPortPopup->deleteAllRows();
    int select = 0;
    for (int i = 0; i < SerialPortCount; ++i) {
        const QString name = ports::name(i);
        SerialPortPopup->addRow(name);
        if (name == shown)
            select = i;
        yieldToEventLoop();
    }
    if (SerialPortPopup->listCount() == 0) {
        // Nothing left to select: the port that was open is gone with the list.
        Serial1->close();
        return;
    }
    SerialPortPopup->setListIndex(select);
}

void PwrSupWindow::SerialPortPopup_Change()
{
    Serial1->close();
    const int index = SerialPortPopup->listIndex();
    if (index < 0)
        return;
    if (index > kLastUsablePort) {
        dialogs::msgBox(QStringLiteral("Error opening serial port for Power Supply. Invalid serial Port:")
                        + Str(index));
        return;
    }
    Serial1->setPortName(ports::name(index));
    if (!Serial1->open()) {
        dialogs::msgBox(QStringLiteral("Error opening serial port for Power Supply.   Serial.Open fail."));
        return;
    }
    StartButton->setEnabled((!OutNumberPopup->text().isEmpty() || PSComOutList.isEmpty())
                            && !PPSpopup->text().isEmpty() && !myEditField->isEmpty());
}

} // namespace zorv
