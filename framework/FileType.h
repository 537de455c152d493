#pragma once

#include <QString>
#include <QStringList>

namespace zorv {

// A file type the open dialog can filter on, known by its name.
struct FileType {
    QString name;
    QString extensions; // ".txt;.c" - each with its point, separated by ';'
    QString macType;
    QString macCreator;
};

void registerFileType(const FileType& type);
// The dialog filter for a registered type ("text/plain (*.txt *.c)"), or an
// empty list when no type of that name is registered.
QStringList fileDialogFilters(const QString& typeName);

} // namespace zorv
