#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace zorv::files {

// The folder the program runs from, and the user's Preferences folder. Both
// end in '/'. Tests point them at temporary folders.
QString programFolder();
QString preferencesFolder();
void setProgramFolderForTesting(const QString& folder);
void setPreferencesFolderForTesting(const QString& folder);

// The names of a folder's items (files and sub-folders) in name order; empty
// when the folder does not exist or cannot be listed.
QStringList folderItems(const QString& folder);

bool exists(const QString& path);

// No description, script or preference file comes near this size; a larger
// file is refused unread rather than filling memory.
constexpr qint64 kMaxTextFileSize = 16 * 1024 * 1024;

// The whole text of a file in the default encoding, or nothing when it is
// not a regular file that can be read (missing, a folder, a FIFO, a device,
// no permission) or is larger than kMaxTextFileSize. Links are followed.
// Never blocks on what it opens; memory grows with the text read, not
// with several copies of it.
std::optional<QString> readTextFile(const QString& path);

enum class WriteResult { Written, CannotCreate, CannotSave };

// Writes text unchanged. A save that fails (a full disk, a file size limit)
// leaves the file that was there as it was. The text goes to a temporary file
// beside the target, which takes the target's place once everything was
// written, if it can be all the target was: owner, group, mode, ACLs and
// other extended attributes, and the only name of its file. Otherwise (a file
// of several names, another user's file, a folder without write permission)
// the target is written in place, in room reserved before its old text is
// given up. Only a regular file is saved over (links followed, the links
// kept): a FIFO, a device, a socket or a loop of links there is left as it is
// and gives CannotCreate, as a folder does.
WriteResult writeTextFile(const QString& path, const QString& text);

} // namespace zorv::files
