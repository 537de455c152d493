#include "framework/Files.h"

#include "framework/TextStream.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QScopeGuard>
#include <QStandardPaths>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// A regular file small enough to be read whole.
bool readableWhole(const struct stat& status)
{
    return S_ISREG(status.st_mode) && status.st_size <= kMaxTextFileSize;
}

// What a save finds at its target, links followed. Anything but a regular
// file is never saved over: the temporary file renamed over a FIFO, a device
// or a socket would replace the node itself (as root, a link to /dev/null
// would replace /dev/null).
enum class Target { Missing, Regular, NotRegular };

Target targetAt(const QByteArray& name)
{
    struct stat status {};
    // Other failures (a file where a folder should be, no permission) are
    // left to the save, which cannot create the file either.
    if (::stat(name.constData(), &status) != 0)
        return Target::Missing;
    return S_ISREG(status.st_mode) ? Target::Regular : Target::NotRegular;
}

// A folder without write permission, where an existing file (links followed)
// lies, takes no temporary file beside it.
bool folderTakesNoFile(const QString& path)
{
    const QString file = QFileInfo(path).canonicalFilePath();
    return !file.isEmpty() && ::access(QFile::encodeName(QFileInfo(file).absolutePath()).constData(), W_OK) != 0
           && errno == EACCES;
}

// Writes over an existing regular file in place, as a plain save would. The
// open never blocks, and what it opened is checked again: a FIFO may have
// taken the file's place since it was looked at.
WriteResult writeInPlace(const QByteArray& name, const QByteArray& bytes)
{
    const int fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return WriteResult::CannotCreate;
    auto closeFile = qScopeGuard([fd] { ::close(fd); });
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        return WriteResult::CannotCreate;
    if (::ftruncate(fd, 0) != 0)
        return WriteResult::CannotSave;
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t put = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return WriteResult::CannotSave;
        done += put;
    }
    closeFile.dismiss();
    return ::close(fd) == 0 ? WriteResult::Written : WriteResult::CannotSave;
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
    const QByteArray name = QFile::encodeName(path);
    struct stat status {};
    // A look before opening: opening a device can act on it (a serial line
    // raises its modem lines), and opening a FIFO could wait for a writer.
    if (::stat(name.constData(), &status) != 0 || !readableWhole(status))
        return std::nullopt;
    // What was looked at may be swapped before the open: the opened file is
    // checked again, and the open itself cannot block.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    const auto closeFile = qScopeGuard([fd] { ::close(fd); });
    if (::fstat(fd, &status) != 0 || !readableWhole(status))
        return std::nullopt;

    // A file may still grow while it is read, and some report no size at all
    // (those of /proc): the limit holds for what is actually read.
    TextDecoder decoder(static_cast<qsizetype>(status.st_size));
    QByteArray piece(64 * 1024, Qt::Uninitialized);
    qint64 total = 0;
    for (;;) {
        const ssize_t got = ::read(fd, piece.data(), static_cast<size_t>(piece.size()));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            break;
        total += got;
        if (total > kMaxTextFileSize)
            return std::nullopt;
        decoder.add(QByteArrayView(piece.constData(), static_cast<qsizetype>(got)));
    }
    return decoder.finish();
}

WriteResult writeTextFile(const QString& path, const QString& text)
{
    const QByteArray name = QFile::encodeName(path);
    const Target target = targetAt(name);
    if (target == Target::NotRegular)
        return WriteResult::CannotCreate;
    const QByteArray bytes = encodeText(text);
    // Qt's own fallback would open the target to write with a blocking open,
    // which waits for a reader should a FIFO have taken the file's place.
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        return target == Target::Regular && folderTakesNoFile(path) ? writeInPlace(name, bytes)
                                                                     : WriteResult::CannotCreate;
    // QSaveFile buffers the bytes and commits even when the flush that writes
    // them failed (a full disk, say), which would put a file cut short in
    // place of the target: the flush is checked before the commit.
    if (file.write(bytes) != bytes.size() || !file.flush() || file.error() != QFileDevice::NoError) {
        file.cancelWriting();
        return WriteResult::CannotSave;
    }
    // Looked at again at the last moment: the target may have been swapped
    // while the text was written.
    if (targetAt(name) == Target::NotRegular) {
        file.cancelWriting();
        return WriteResult::CannotCreate;
    }
    return file.commit() ? WriteResult::Written : WriteResult::CannotSave;
}

} // namespace zorv::files
