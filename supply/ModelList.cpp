#include "mainwindow/PwrSupWindow.h"

#include "framework/Files.h"
#include "framework/Strings.h"
#include "framework/Yield.h"
#include "supply/ModelFolder.h"

namespace zorv {

QString modelFolder()
{
    return files::programFolder() + QStringLiteral("ZORV dep files/");
}

void PwrSupWindow::rebuildModelList()
{
    PPSpopup->deleteAllRows();
    const QStringList items = files::folderItems(modelFolder());
    const QString extension = QStringLiteral(".dep");
    for (const QString& name : items) {
        if (Right(name, 4) == extension)
            PPSpopup->addRow(Left(name, Len(name) - 4));
        yieldToEventLoop();
    }
}

void PwrSupWindow::PPSpopup_Open()
{
    rebuildModelList();
    PPSLast = -1;
}

void PwrSupWindow::PPSpopup_MouseEnter()
{
    rebuildModelList();
    if (PPSLast >= 0)
        m_modelFailure.reselect([this] { PPSpopup->setListIndex(PPSLast); });
}

} // namespace zorv
