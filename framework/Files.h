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

// The whole text of a file in the default encoding, or nothing when it is
// not a file that can be read (missing, a folder, no permission).
std::optional<QString> readTextFile(const QString& path);

enum class WriteResult { Written, CannotCreate, CannotSave };

// Writes text unchanged. The text goes to a temporary file beside the target,
// which replaces the target only once everything was written, so a failed
// save never leaves a target cut short.
WriteResult writeTextFile(const QString& path, const QString& text);

} // namespace zorv::files
