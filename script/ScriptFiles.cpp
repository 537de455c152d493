#include "mainwindow/PwrSupWindow.h"

#include "framework/Dialogs.h"
#include "framework/Files.h"
#include "framework/Strings.h"

namespace zorv {

void PwrSupWindow::openTextBtn_Action()
{
    const QString path = dialogs::openFile(QStringLiteral("text/plain"));
    if (path.isEmpty())
        return;
    const std::optional<QString> text = files::readTextFile(path);
    if (!text) {
        dialogs::msgBox(QStringLiteral("The selected file is not a text file."));
        return;
    }
    myEditField->setText(*text);
    StartButton->setEnabled(true);
    ErrorText->setText(QString());
    // Appended, not set again: a second setting of a long text costs as much
    // as the first.
    myEditField->appendText(Chr(13) + Chr(13));
}

bool PwrSupWindow::scriptAllowsStart() const
{
    return (!OutNumberPopup->text().isEmpty() || PSComOutList.isEmpty()) && !PPSpopup->text().isEmpty()
           && !myEditField->isEmpty() && !SerialPortPopup->text().isEmpty();
}

void PwrSupWindow::myEditField_TextChange()
{
    applyStartRule(scriptAllowsStart());
    ErrorText->setText(QString());
}

void PwrSupWindow::myEditField_Open()
{
    myEditField->setAcceptDrops(true);
}

void PwrSupWindow::saveTextBtn_Action()
{
    const QString path = dialogs::saveFile();
    if (path.isEmpty())
        return;
    switch (files::writeTextFile(path, myEditField->text())) {
    case files::WriteResult::Written:
        break;
    case files::WriteResult::CannotCreate:
        dialogs::msgBox(QStringLiteral("The text file could not be created."));
        break;
    case files::WriteResult::CannotSave:
        dialogs::msgBox(QStringLiteral("The text file could not be saved."));
        break;
    }
}

} // namespace zorv
