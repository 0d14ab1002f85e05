#include "harvest/WorkingFiles.h"

#include <QFile>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QFileInfo>
#include <QSaveFile>
#endif

const QLatin1StringView WorkingFiles::CheckImages("checkImages.txt");
const QLatin1StringView WorkingFiles::CheckImagesClean("checkImagesClean.txt");
const QLatin1StringView WorkingFiles::SourcePage("source.htm");
const QLatin1StringView WorkingFiles::ImagePage("imagepage.html");
const QLatin1StringView WorkingFiles::Browser("browser.txt");
const QLatin1StringView WorkingFiles::Images("images.htm");

namespace {

void setError(QString *error, const QString &name, const QString &reason)
{
    if (error)
        *error = name + QStringLiteral(": ") + reason;
}

#ifdef Q_OS_UNIX

QString systemReason(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// Why the file at path may not be replaced, or empty when it may: it is missing or
// a plain file. A symbolic link is never followed, whatever it points at.
QString refusal(const QByteArray &path)
{
    struct stat info;
    if (::lstat(path.constData(), &info) != 0)
        return errno == ENOENT ? QString() : systemReason(errno);
    if (S_ISLNK(info.st_mode))
        return QStringLiteral("is a symbolic link; Quarrow does not write through links");
    if (S_ISDIR(info.st_mode))
        return QStringLiteral("is a folder");
    if (!S_ISREG(info.st_mode))
        return QStringLiteral("is not a plain file");
    return {};
}

// Puts the finished temporary file in the target's place, in one step that no
// reader can see half done. The two names are exchanged and the old content,
// now under the temporary name, removed: renaming over an existing file would
// make ext4 start writing the new one to the disk at once (its guard for files
// replaced this way, where working files need none). Where the target is missing
// or the file system cannot exchange names, a plain rename.
// The temporary files being written, where a process that has to end at once (in
// a signal handler) finds them to remove them: a few fixed slots, no allocation.
struct UnfinishedFile {
    std::atomic<int> state{0}; // 0 free, 1 being filled, 2 holds a path
    char path[4096];
};
UnfinishedFile unfinishedFiles[8];

void addUnfinished(const QByteArray &path)
{
    if (path.size() >= qsizetype(sizeof(UnfinishedFile::path)))
        return;
    for (UnfinishedFile &file : unfinishedFiles) {
        int free = 0;
        if (file.state.compare_exchange_strong(free, 1)) {
            std::memcpy(file.path, path.constData(), size_t(path.size()) + 1);
            file.state = 2;
            return;
        }
    }
}

void forgetUnfinished(const char *path)
{
    for (UnfinishedFile &file : unfinishedFiles) {
        if (file.state == 2 && std::strcmp(file.path, path) == 0) {
            file.state = 0;
            return;
        }
    }
}

// Removes a temporary file that will not take its target's place.
void dropTemporary(const QByteArray &temporary)
{
    ::unlink(temporary.constData());
    forgetUnfinished(temporary.constData());
}

int replaceFile(const char *temporary, const char *target)
{
#ifdef RENAME_EXCHANGE
    if (::renameat2(AT_FDCWD, temporary, AT_FDCWD, target, RENAME_EXCHANGE) == 0) {
        // What was at the target is now under the temporary name. Had a folder or a
        // link taken the target's place since it was looked at, it goes back.
        struct stat info;
        if (::lstat(temporary, &info) == 0 && !S_ISREG(info.st_mode)) {
            const int why = S_ISDIR(info.st_mode) ? EISDIR : ELOOP;
            ::renameat2(AT_FDCWD, temporary, AT_FDCWD, target, RENAME_EXCHANGE);
            errno = why;
            return -1;
        }
        ::unlink(temporary);
        forgetUnfinished(temporary);
        return 0;
    }
#endif
    const int result = ::rename(temporary, target);
    if (result == 0)
        forgetUnfinished(temporary);
    return result;
}

bool writeAll(int fd, const char *data, qsizetype size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(size));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

// A stream into an open file, handed to the file a buffer at a time; the first
// failure is kept, and nothing more is written after it. The buffers are the
// thread's own and serve every file it writes, so that their memory is touched
// once, not once a file; files written side by side use buffers of their own.
class FileStream : public WorkingFiles::Stream {
public:
    static constexpr int kBuffers = 4;

    explicit FileStream(int fd, int buffer = 0) : m_fd(fd)
    {
        thread_local std::unique_ptr<char[]> buffers[kBuffers];
        if (!buffers[buffer])
            buffers[buffer].reset(new char[kBuffer]);
        setBuffer(buffers[buffer].get(), kBuffer);
    }

    int failure() const { return m_errno; }

protected:
    void take(QByteArrayView bytes) override
    {
        if (m_errno == 0 && !writeAll(m_fd, bytes.data(), bytes.size()))
            m_errno = errno ? errno : EIO;
    }
    void discard() override
    {
        if (m_errno == 0 && (::lseek(m_fd, 0, SEEK_SET) != 0 || ::ftruncate(m_fd, 0) != 0))
            m_errno = errno ? errno : EIO;
    }

private:
    // Small enough to stay in the processor's cache between writes.
    static constexpr qsizetype kBuffer = qsizetype(128) << 10;
    int m_fd;
    int m_errno = 0;
};

// A new owner-only file beside the target, holding what fill writes and CR LF. Its
// path comes back in *temporary; on failure nothing is left behind. It is not
// synced to the disk: the working files are what the running program hands from one
// step to the next, not data to keep through a crash.
// A new owner-only file beside the target, opened; -1 and *error set when it
// cannot be made.
int openTemporary(const QString &folder, const QString &name, QByteArray *temporary, QString *error)
{
    *temporary = QFile::encodeName(folder + QStringLiteral("/.") + name) + ".XXXXXX";
    // mkstemp creates the file exclusively (never through a link), mode 0600.
    const int fd = ::mkstemp(temporary->data());
    if (fd < 0)
        setError(error, name, systemReason(errno));
    else
        addUnfinished(*temporary);
    return fd;
}

// Ends a temporary file with CR LF and closes it; on failure it is removed and
// *error set.
bool closeTemporary(FileStream &stream, int fd, const QString &name, const QByteArray &temporary,
                    QString *error)
{
    stream.write("\r\n");
    stream.flush();
    const int writeErrno = stream.failure();
    // Some file systems only report a full disk when the file is closed.
    const bool closed = ::close(fd) == 0;
    if (writeErrno != 0 || !closed) {
        setError(error, name, systemReason(writeErrno != 0 ? writeErrno : errno));
        dropTemporary(temporary);
        return false;
    }
    return true;
}

bool writeTemporary(const QString &folder, const QString &name,
                    const std::function<void(WorkingFiles::Stream &)> &fill, QByteArray *temporary,
                    QString *error)
{
    const int fd = openTemporary(folder, name, temporary, error);
    if (fd < 0)
        return false;
    FileStream stream(fd);
    fill(stream);
    return closeTemporary(stream, fd, name, *temporary, error);
}

#else

// What fill writes, gathered in memory.
QByteArray gathered(const WorkingFiles::Fill &fill)
{
    QByteArray bytes;
    harvest::ByteArraySink stream(bytes);
    fill(stream);
    stream.flush();
    return bytes;
}

#endif

WorkingFiles::Fill bytesOf(const QByteArray &bytes)
{
    return [&bytes](WorkingFiles::Stream &stream) { stream.write(bytes); };
}

} // namespace

WorkingFiles::WorkingFiles(const QString &folder) : m_folder(folder) {}

void WorkingFiles::removeUnfinished()
{
#ifdef Q_OS_UNIX
    for (UnfinishedFile &file : unfinishedFiles) {
        if (file.state == 2)
            ::unlink(file.path);
    }
#endif
}

QString WorkingFiles::folder() const
{
    return m_folder;
}

QString WorkingFiles::path(const QString &name) const
{
    return m_folder + u'/' + name;
}

QStringList WorkingFiles::startupOrder()
{
    return {Browser, SourcePage, Images, CheckImages, CheckImagesClean, ImagePage};
}

bool WorkingFiles::createMissing(const std::function<bool(const QString &)> &exists,
                                 QString *error) const
{
    bool ok = true;
    for (const QString &name : startupOrder()) {
        if (exists(path(name)))
            continue;
        QString why;
        if (!appendEmptyLine(name, &why)) {
            if (ok && error)
                *error = why;
            ok = false;
        }
    }
    return ok;
}

bool WorkingFiles::createMissing() const
{
    return createMissing([](const QString &file) { return QFile::exists(file); });
}

bool WorkingFiles::appendEmptyLine(const QString &name, QString *error) const
{
#ifdef Q_OS_UNIX
    const QByteArray target = QFile::encodeName(path(name));
    const int fd =
        ::open(target.constData(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        setError(error, name,
                 errno == ELOOP
                     ? QStringLiteral("is a symbolic link; Quarrow does not write through links")
                     : systemReason(errno));
        return false;
    }
    const bool ok = writeAll(fd, "\r\n", 2);
    const int writeErrno = errno;
    const bool closed = ::close(fd) == 0;
    if (!ok || !closed) {
        setError(error, name, systemReason(ok ? errno : writeErrno));
        return false;
    }
    return true;
#else
    QFile file(path(name));
    if (QFileInfo(file).isSymLink() || !file.open(QIODevice::WriteOnly | QIODevice::Append) ||
        file.write("\r\n", 2) != 2) {
        setError(error, name, file.errorString());
        return false;
    }
    return true;
#endif
}

bool WorkingFiles::writeReplace(const QString &name, const QString &value, QString *error) const
{
    return writeReplaceBytes(name, value.toUtf8(), error);
}

bool WorkingFiles::writeReplaceBytes(const QString &name, const QByteArray &bytes,
                                     QString *error) const
{
    return writeReplaceWith(name, bytesOf(bytes), error);
}

bool WorkingFiles::writeReplaceWith(const QString &name, const Fill &fill, QString *error) const
{
#ifdef Q_OS_UNIX
    const QByteArray target = QFile::encodeName(path(name));
    QString why = refusal(target);
    if (!why.isEmpty()) {
        setError(error, name, why);
        return false;
    }
    QByteArray temporary;
    if (!writeTemporary(m_folder, name, fill, &temporary, error))
        return false;
    // Looked at again: the target may have changed while the bytes were written.
    why = refusal(target);
    if (why.isEmpty() && replaceFile(temporary.constData(), target.constData()) != 0)
        why = systemReason(errno);
    if (!why.isEmpty()) {
        dropTemporary(temporary);
        setError(error, name, why);
        return false;
    }
    return true;
#else
    const QByteArray bytes = gathered(fill);
    QSaveFile file(path(name));
    if (QFileInfo(path(name)).isSymLink() || !file.open(QIODevice::WriteOnly) ||
        file.write(bytes) != bytes.size() || file.write("\r\n", 2) != 2 || !file.commit()) {
        setError(error, name, file.errorString());
        return false;
    }
    return true;
#endif
}

bool WorkingFiles::writePair(const QString &first, const QByteArray &firstBytes,
                             const QString &second, const QByteArray &secondBytes,
                             QString *error) const
{
    return writePair(first, bytesOf(firstBytes), second, bytesOf(secondBytes), error);
}

bool WorkingFiles::writePair(const QString &first, const Fill &firstFill, const QString &second,
                             const Fill &secondFill, QString *error) const
{
#ifdef Q_OS_UNIX
    const QByteArray firstTarget = QFile::encodeName(path(first));
    const QByteArray secondTarget = QFile::encodeName(path(second));
    const std::pair<QString, QByteArray> targets[] = {{first, firstTarget}, {second, secondTarget}};
    for (const auto &[name, target] : targets) {
        const QString why = refusal(target);
        if (!why.isEmpty()) {
            setError(error, name, why);
            return false;
        }
    }
    QByteArray firstTemporary;
    QByteArray secondTemporary;
    if (!writeTemporary(m_folder, first, firstFill, &firstTemporary, error))
        return false;
    if (!writeTemporary(m_folder, second, secondFill, &secondTemporary, error)) {
        dropTemporary(firstTemporary);
        return false;
    }
    // The first file's old content is kept under a second name until the second
    // file is in place, so that a failure in between can put it back.
    const QByteArray backup = QFile::encodeName(m_folder + QStringLiteral("/.") + first) + ".old";
    ::unlink(backup.constData());
    const bool hadFirst = ::link(firstTarget.constData(), backup.constData()) == 0;

    QString failedName = first;
    QString why = refusal(firstTarget);
    if (why.isEmpty() && replaceFile(firstTemporary.constData(), firstTarget.constData()) != 0)
        why = systemReason(errno);
    if (why.isEmpty()) {
        failedName = second;
        why = refusal(secondTarget);
        if (why.isEmpty() &&
            replaceFile(secondTemporary.constData(), secondTarget.constData()) != 0)
            why = systemReason(errno);
        if (!why.isEmpty()) {
            // Put the first file back as it was.
            if (hadFirst)
                ::rename(backup.constData(), firstTarget.constData());
            else
                ::unlink(firstTarget.constData());
        }
    }
    dropTemporary(firstTemporary);
    dropTemporary(secondTemporary);
    ::unlink(backup.constData());
    if (!why.isEmpty()) {
        setError(error, failedName, why);
        return false;
    }
    return true;
#else
    return writeReplaceBytes(first, gathered(firstFill), error) &&
           writeReplaceBytes(second, gathered(secondFill), error);
#endif
}
