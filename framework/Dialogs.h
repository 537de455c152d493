#pragma once

#include <QString>
#include <QStringList>

namespace zorv::dialogs {

// The open and save dialogs and the modal message box, all behind one seam
// so that tests can answer them.
class Handler {
public:
    virtual ~Handler() = default;
    // The chosen file's path, or empty when the user cancelled.
    virtual QString openFile(const QStringList& filters) = 0;
    virtual QString saveFile() = 0;
    virtual void message(const QString& text) = 0;
};

// A path chosen in an open dialog that offers the files of a registered type.
QString openFile(const QString& fileTypeName);
QString saveFile();
void msgBox(const QString& text);

// nullptr restores the real dialogs.
void setHandlerForTesting(Handler* handler);

} // namespace zorv::dialogs
