#include "framework/Files.h"

#include "framework/TextStream.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace zorv::files {
namespace {

QString& programFolderOverride()
{
    static QString folder;
    return folder;
}

QString& preferencesFolderOverride()
{
    static QString folder;
    return folder;
}

QString withSlash(QString folder)
{
    if (!folder.endsWith(u'/'))
        folder.append(u'/');
    return folder;
}

} // namespace

QString programFolder()
{
    if (!programFolderOverride().isEmpty())
        return withSlash(programFolderOverride());
    return withSlash(QCoreApplication::applicationDirPath());
}

QString preferencesFolder()
{
    if (!preferencesFolderOverride().isEmpty())
        return withSlash(preferencesFolderOverride());
    return withSlash(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
}

void setProgramFolderForTesting(const QString& folder)
{
    programFolderOverride() = folder;
}

void setPreferencesFolderForTesting(const QString& folder)
{
    preferencesFolderOverride() = folder;
}

QStringList folderItems(const QString& folder)
{
    const QDir dir(folder);
    if (!dir.exists())
        return {};
    return dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
}

bool exists(const QString& path)
{
    return QFileInfo::exists(path);
}

std::optional<QString> readTextFile(const QString& path)
{
    if (QFileInfo(path).isDir())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return decodeText(bytes);
}

WriteResult writeTextFile(const QString& path, const QString& text)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return WriteResult::CannotCreate;
    const QByteArray bytes = encodeText(text);
    // QSaveFile buffers the bytes and commits even when the flush that writes
    // them failed (a full disk, say), which would put a file cut short in
    // place of the target: the flush is checked before the commit.
    if (file.write(bytes) != bytes.size() || !file.flush() || file.error() != QFileDevice::NoError) {
        file.cancelWriting();
        return WriteResult::CannotSave;
    }
    return file.commit() ? WriteResult::Written : WriteResult::CannotSave;
}

} // namespace zorv::files
