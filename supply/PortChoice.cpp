#include "mainwindow/PwrSupWindow.h"

#include "framework/PortList.h"
#include "framework/Strings.h"
#include "framework/Yield.h"

namespace zorv {

namespace {
constexpr int kLastUsablePort = 122;
const QString kOpenFail = QStringLiteral("Error opening serial port for Power Supply.   Serial.Open fail.");
} // namespace

void PwrSupWindow::SerialPortPopup_MouseEnter()
{
    const QString shown = SerialPortPopup->text();
    // One snapshot for the count and every name: asking the system costs
    // milliseconds each time, and a port unplugged between two questions
    // would leave a row without its name.
    const QStringList names = ports::names();
    SerialPortCount = static_cast<std::int32_t>(names.size());
    SerialPortPopup->deleteAllRows();
    int select = 0;
    for (int i = 0; i < SerialPortCount; ++i) {
        const QString& name = names[i];
        SerialPortPopup->addRow(name);
        if (name == shown)
            select = i;
        yieldToEventLoop();
    }
    if (SerialPortPopup->listCount() == 0) {
        // Nothing left to select: the port that was open is gone with the list.
        Serial1->close();
        m_portFailure.clear();
        return;
    }
    m_portFailure.reselect([&] { SerialPortPopup->setListIndex(select); });
}

bool PwrSupWindow::openShownPort(bool reportNone)
{
    Serial1->close();
    const int index = SerialPortPopup->listIndex();
    if (index < 0) {
        if (reportNone)
            m_portFailure.report(QString(), kOpenFail);
        else
            m_portFailure.clear();
        return false;
    }
    if (index > kLastUsablePort) {
        m_portFailure.report(SerialPortPopup->text(),
                             QStringLiteral("Error opening serial port for Power Supply. Invalid serial Port:")
                                 + Str(index));
        return false;
    }
    // The row's own name, as the rebuild saw it: asking the system again
    // would open whatever stands at this index now, which need not be the
    // port the user sees. A port gone since fails to open.
    Serial1->setPortName(SerialPortPopup->text());
    if (!Serial1->open()) {
        m_portFailure.report(SerialPortPopup->text(), kOpenFail);
        return false;
    }
    m_portFailure.clear();
    return true;
}

void PwrSupWindow::SerialPortPopup_Change()
{
    if (!openShownPort(false))
        return;
    applyStartRule((!OutNumberPopup->text().isEmpty() || PSComOutList.isEmpty()) && !PPSpopup->text().isEmpty()
                   && !myEditField->isEmpty());
}

} // namespace zorv
