#include "framework/Dialogs.h"

#include "framework/FileType.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace zorv::dialogs {
namespace {

class RealDialogs : public Handler {
public:
    QString openFile(const QStringList& filters) override
    {
        QFileDialog dialog;
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setNameFilters(filters);
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() ? dialog.selectedFiles().front()
                                                                                      : QString();
    }

    QString saveFile() override
    {
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
