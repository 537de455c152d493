#include "framework/Files.h"

#include "framework/TextStream.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <map>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
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

// A save follows links to the file they lead to and saves that file under
// its own name: the links stay links.
constexpr int kMaxLinksFollowed = 40;

struct Destination {
    QByteArray name;                    // links followed
    std::optional<struct stat> status; // nothing: no file there yet
};

QByteArray folderOf(const QByteArray& name)
{
    const qsizetype slash = name.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : name.left(slash);
}

// Where a save of this name lands, or nothing where no file can be made
// there: a loop of links, a file where a folder should be, a folder that may
// not be searched.
std::optional<Destination> destinationOf(QByteArray name)
{
    if (name.isEmpty())
        return std::nullopt;
    for (int followed = 0; followed <= kMaxLinksFollowed; ++followed) {
        struct stat status {};
        if (::lstat(name.constData(), &status) != 0)
            return errno == ENOENT ? std::optional(Destination{name, std::nullopt}) : std::nullopt;
        if (!S_ISLNK(status.st_mode))
            return Destination{name, status};
        QByteArray target(PATH_MAX, Qt::Uninitialized);
        const ssize_t length = ::readlink(name.constData(), target.data(), static_cast<size_t>(target.size()));
        if (length <= 0 || length >= target.size())
            return std::nullopt;
        target.truncate(length);
        name = target.startsWith('/') ? target : folderOf(name) + '/' + target;
    }
    return std::nullopt;
}

// A file size limit (ulimit -f) ends a program at the write that passes it;
// ignored, that write fails with EFBIG and the save reports it.
void ignoreFileSizeSignal()
{
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGXFSZ, &ignore, nullptr);
}

bool writeAll(int fd, QByteArrayView bytes, off_t at)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t put = ::pwrite(fd, bytes.data() + done, static_cast<size_t>(bytes.size() - done), at + done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        done += put;
    }
    return true;
}

// The text is on the disk, as far as the file system can tell.
bool synced(int fd)
{
    // Some file systems cannot sync at all; their writes are as done as they get.
    return ::fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
}

// The extended attributes of a file (its ACLs among them) by name; nothing
// when they cannot all be read. A file system without them has none.
using Attributes = std::map<QByteArray, QByteArray>;

std::optional<Attributes> attributesOf(int fd, const QByteArray& name)
{
    const auto list = [&](char* names, size_t size) {
        return fd >= 0 ? ::flistxattr(fd, names, size) : ::llistxattr(name.constData(), names, size);
    };
    const auto get = [&](const char* attribute, void* value, size_t size) {
        return fd >= 0 ? ::fgetxattr(fd, attribute, value, size)
                       : ::lgetxattr(name.constData(), attribute, value, size);
    };
    // Each read asks for the size first; the attribute may grow in between.
    const auto whole = [](const auto& read) -> std::optional<QByteArray> {
        for (int attempt = 0; attempt < 8; ++attempt) {
            const ssize_t size = read(nullptr, 0);
            if (size < 0)
                return std::nullopt;
            QByteArray bytes(size, Qt::Uninitialized);
            const ssize_t got = read(bytes.data(), static_cast<size_t>(bytes.size()));
            if (got >= 0) {
                bytes.truncate(got);
                return bytes;
            }
            if (errno != ERANGE)
                return std::nullopt;
        }
        return std::nullopt;
    };

    const std::optional<QByteArray> names = whole(list);
    if (!names)
        return errno == ENOTSUP ? std::optional(Attributes()) : std::nullopt;
    Attributes attributes;
    for (const QByteArray& attribute : names->split('\0')) {
        if (attribute.isEmpty())
            continue;
        const std::optional<QByteArray> value =
            whole([&](char* bytes, size_t size) { return get(attribute.constData(), bytes, size); });
        if (!value)
            return std::nullopt;
        attributes[attribute] = *value;
    }
    return attributes;
}

// Gives the temporary file the target's owner, group, mode and attributes;
// false when it cannot hold all of them (another's file saved by a user, a
// group the user is not in, an attribute only the system sets).
bool carryOver(int fd, const struct stat& target, const Attributes& attributes)
{
    // The mode last: a change of owner clears the setgid bit, and it sets the
    // ACL's mask as the target's mode has it.
    if (::fchown(fd, target.st_uid, target.st_gid) != 0)
        return false;
    const std::optional<Attributes> given = attributesOf(fd, {});
    if (!given)
        return false;
    for (const auto& [attribute, value] : *given)
        if (!attributes.count(attribute) && ::fremovexattr(fd, attribute.constData()) != 0)
            return false;
    for (const auto& [attribute, value] : attributes)
        if (::fsetxattr(fd, attribute.constData(), value.constData(), static_cast<size_t>(value.size()), 0) != 0)
            return false;
    if (::fchmod(fd, target.st_mode & 07777) != 0)
        return false;
    // The system may drop what it was given without saying so (the setgid
    // bit of a group the user is not in).
    struct stat status {};
    return ::fstat(fd, &status) == 0 && status.st_uid == target.st_uid && status.st_gid == target.st_gid
           && (status.st_mode & 07777) == (target.st_mode & 07777) && attributesOf(fd, {}) == attributes;
}

// A new file beside the target under a short name of its own: the target's
// name may already be as long as a name can be.
int makeTemporary(const QByteArray& folder, mode_t mode, QByteArray& name)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = folder + (folder.endsWith('/') ? "" : "/") + ".zorv-"
               + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Writes the text to a temporary file that then takes the target's place, so
// a failure leaves the target as it was. Over an existing file, nothing when
// the temporary cannot be all that file was: the save is then made in place.
std::optional<WriteResult> replaceThroughTemporary(const Destination& destination, const QByteArray& bytes,
                                                   const Attributes& attributes)
{
    const std::optional<struct stat>& target = destination.status;
    QByteArray temporary;
    // A new file takes the mode a plain create gives it.
    int fd = makeTemporary(folderOf(destination.name), target ? 0600 : 0666, temporary);
    // A folder that takes no new file from this user (no write permission)
    // leaves an existing file to be written in place; a folder that takes no
    // new file at all (one of /proc) is no place to save.
    if (fd < 0)
        return target && (errno == EACCES || errno == EPERM) ? std::nullopt
                                                             : std::optional(WriteResult::CannotCreate);
    auto removeTemporary = qScopeGuard([&] {
        if (fd >= 0)
            ::close(fd);
        ::unlink(temporary.constData());
    });
    if (!writeAll(fd, bytes, 0))
        return WriteResult::CannotSave;
    // After the text: a write clears the setgid bit and file capabilities.
    if (target && !carryOver(fd, *target, attributes))
        return std::nullopt;
    if (!synced(fd))
        return WriteResult::CannotSave;
    // Looked at again at the last moment: the target may have been swapped
    // for a FIFO or a device while the text was written.
    struct stat now {};
    if (::lstat(destination.name.constData(), &now) == 0 && !S_ISREG(now.st_mode))
        return WriteResult::CannotCreate;
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0 || ::rename(temporary.constData(), destination.name.constData()) != 0)
        return WriteResult::CannotSave;
    removeTemporary.dismiss();
    return WriteResult::Written;
}

// Writes over an existing regular file in place: it keeps its inode, and so
// its names, owner, mode and attributes. The open never blocks, and what it
// opened is checked again: a FIFO may have taken the file's place since it
// was looked at. No byte of the old text is given up before the room for the
// new one is the file's: a full disk or a file size limit leaves the old text
// as it was.
WriteResult writeInPlace(const QByteArray& name, const QByteArray& bytes)
{
    constexpr int flags = O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    // Read access lets the C library reserve room where the file system
    // cannot: it looks for blocks not yet written.
    int fd = ::open(name.constData(), O_RDWR | flags);
    if (fd < 0 && errno == EACCES)
        fd = ::open(name.constData(), O_WRONLY | flags);
    if (fd < 0)
        return WriteResult::CannotCreate;
    auto closeFile = qScopeGuard([fd] { ::close(fd); });
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        return WriteResult::CannotCreate;

    const off_t oldSize = status.st_size;
    const off_t newSize = bytes.size();
    // A file size limit holds for every write, also one over bytes the file
    // already has: a text that passes it would be cut in the middle.
    rlimit limit {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
        && static_cast<rlim_t>(newSize) > limit.rlim_cur)
        return WriteResult::CannotSave;
    const auto cutBack = [&] {
        ::ftruncate(fd, oldSize);
        return WriteResult::CannotSave;
    };
    int reserved = 0;
    if (newSize > 0) {
        do
            reserved = ::posix_fallocate(fd, 0, newSize);
        while (reserved == EINTR);
    }
    // Where room cannot be reserved at all, the part of the text beyond the
    // old one, written first, still makes it before the old text is touched.
    const bool cannotReserve =
        reserved == EOPNOTSUPP || reserved == EINVAL || reserved == EBADF || reserved == ENODEV;
    if (reserved != 0 && !cannotReserve)
        return cutBack();
    if (newSize > oldSize && !writeAll(fd, QByteArrayView(bytes).sliced(oldSize), oldSize))
        return cutBack();
    if (!writeAll(fd, QByteArrayView(bytes).first(std::min(oldSize, newSize)), 0))
        return WriteResult::CannotSave;
    if (newSize < oldSize && ::ftruncate(fd, newSize) != 0)
        return WriteResult::CannotSave;
    // A write by anyone but root clears the setgid bit; its owner may set it
    // again.
    struct stat written {};
    if (::fstat(fd, &written) == 0 && (written.st_mode & 07777) != (status.st_mode & 07777))
        ::fchmod(fd, status.st_mode & 07777);
    if (!synced(fd))
        return WriteResult::CannotSave;
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
    ignoreFileSizeSignal();
    const std::optional<Destination> destination = destinationOf(QFile::encodeName(path));
    // Anything but a regular file is never saved over: the temporary file
    // renamed over a FIFO, a device or a socket would replace the node itself
    // (as root, a link to /dev/null would replace /dev/null).
    if (!destination || (destination->status && !S_ISREG(destination->status->st_mode)))
        return WriteResult::CannotCreate;
    const QByteArray bytes = encodeText(text);
    if (!destination->status)
        return *replaceThroughTemporary(*destination, bytes, {});
    const QByteArray& name = destination->name;
    if (::faccessat(AT_FDCWD, name.constData(), W_OK, AT_EACCESS) != 0)
        return WriteResult::CannotCreate;
    // A file of several names is written in place, so that all of them see
    // the new text.
    if (destination->status->st_nlink == 1) {
        if (const std::optional<Attributes> attributes = attributesOf(-1, name)) {
            if (const std::optional<WriteResult> result = replaceThroughTemporary(*destination, bytes, *attributes))
                return *result;
        }
    }
    return writeInPlace(name, bytes);
}

} // namespace zorv::files
