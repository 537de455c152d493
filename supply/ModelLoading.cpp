#include "mainwindow/PwrSupWindow.h"

#include "framework/Dialogs.h"
#include "framework/Files.h"
#include "framework/Strings.h"
#include "framework/Yield.h"
#include "supply/ModelFolder.h"

namespace zorv {

void PwrSupWindow::PPSpopup_Change()
{
    LineTerm = Chr(13);
    const QString model = PPSpopup->text();
    const QString path = modelFolder() + model + QStringLiteral(".dep");
    if (!files::exists(path)) {
        dialogs::msgBox(QStringLiteral("file: ZORV dep files:") + model + QStringLiteral(".dep not found"));
        return;
    }
    const std::optional<QString> text = files::readTextFile(path);
    if (!text) {
        // Going on would keep the old supply's commands under the new
        // model's name, and a run would send them to the wrong supply.
        dialogs::msgBox(QStringLiteral("file: ZORV dep files:") + model + QStringLiteral(".dep could not be read"));
        return;
    }

    TextInputStream in(*text);
    const SectionsRead read = readDeviceDescription(in, *this, yieldToEventLoop);
    if (read.psSelect)
        DevNumberPopup->setEnabled(!PSComPSSelPre.isEmpty() || !PSComPSSelFormat.isEmpty()
                                   || !PSComPSSelPost.isEmpty());
    if (read.outputSelect) {
        if (PSComOutList.isEmpty()) {
            OutNumberPopup->setEnabled(true);
            OutNumberPopup->deleteAllRows();
            OutNumberPopup->addRow(QStringLiteral("1"));
            OutNumberPopup->setEnabled(false);
            VoltsMax = Val(NthField(VoltsMaxList, QStringLiteral(","), 1));
        } else {
            OutNumberPopup->deleteAllRows();
            const int outputs = CountFields(PSComOutList, QStringLiteral(","));
            for (int i = 1; i <= outputs; ++i) {
                OutNumberPopup->addRow(NthField(PSComOutList, QStringLiteral(","), i));
                yieldToEventLoop();
            }
        }
        OutNumberPopup->setEnabled(!PSComOutSelPre.isEmpty() || !PSComOutSelFormat.isEmpty()
                                   || !PSComOutSelPost.isEmpty());
    }

    ZeroVCheckBox->setEnabled(true);
    updateZeroCommand();
    PPSLast = PPSpopup->listIndex();
}

} // namespace zorv
