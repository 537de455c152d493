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
    QSaveFile file(path);
    // Where no temporary file can be made beside the target, a file that is
    // there and writable is written in place, as a plain save would. Never
    // anything but a regular file: opening a FIFO to write waits for a reader.
    struct stat status {};
    file.setDirectWriteFallback(::stat(QFile::encodeName(path).constData(), &status) == 0
                                && S_ISREG(status.st_mode));
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
