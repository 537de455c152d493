#include "framework/Dialogs.h"

#include "framework/FileType.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QSettings>

namespace zorv::dialogs {
namespace {

// Qt's file dialog keeps its folder history and the folder it showed last in
// QtProject.conf among the user's settings, and reads them back the next
// time, so that ZORV would remember where the user's files are. Qt has no
// switch for it: its settings are given a folder that cannot exist, so that
// nothing is read or written. ZORV keeps no settings of its own.
void keepNoDialogHistory()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
}

class RealDialogs : public Handler {
public:
    QString openFile(const QStringList& filters) override
    {
        keepNoDialogHistory();
        QFileDialog dialog;
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setNameFilters(filters);
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() ? dialog.selectedFiles().front()
                                                                                      : QString();
    }

    QString saveFile() override
    {
        keepNoDialogHistory();
        QFileDialog dialog;
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() ? dialog.selectedFiles().front()
                                                                                      : QString();
    }

    void message(const QString& text) override
    {
        QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok);
        box.exec();
    }
};

Handler* real()
{
    static RealDialogs dialogs;
    return &dialogs;
}

Handler*& current()
{
    static Handler* handler = real();
    return handler;
}

} // namespace

QString openFile(const QString& fileTypeName)
{
    return current()->openFile(fileDialogFilters(fileTypeName));
}

QString saveFile()
{
    return current()->saveFile();
}

void msgBox(const QString& text)
{
    current()->message(text);
}

void setHandlerForTesting(Handler* handler)
{
    current() = handler ? handler : real();
}

} // namespace zorv::dialogs
