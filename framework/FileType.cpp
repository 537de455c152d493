#include "framework/FileType.h"

#include <vector>

namespace zorv {
namespace {

std::vector<FileType>& registry()
{
    static std::vector<FileType> types;
    return types;
}

} // namespace

void registerFileType(const FileType& type)
{
    for (FileType& known : registry()) {
        if (known.name == type.name) {
            known = type;
            return;
        }
    }
    registry().push_back(type);
}

QStringList fileDialogFilters(const QString& typeName)
{
    for (const FileType& type : registry()) {
        if (type.name != typeName)
            continue;
        QStringList patterns;
        for (const QString& extension : type.extensions.split(u';', Qt::SkipEmptyParts))
            patterns.append(u'*' + extension);
        return {type.name + QStringLiteral(" (") + patterns.join(u' ') + u')'};
    }
    return {};
}

} // namespace zorv
