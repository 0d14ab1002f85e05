#include "windows/StagingFolder.h"

#include "windows/FileUtils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QRandomGenerator>
#include <QRegularExpression>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

QString newName()
{
    return QStringLiteral(".quarrow-%1.saving")
        .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
}

} // namespace

bool StagingFolder::isStagingName(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("^\\.quarrow-[0-9a-f]{16}\\.saving$"));
    return pattern.match(name).hasMatch();
}

#ifdef Q_OS_UNIX

std::unique_ptr<StagingFolder> StagingFolder::make(const QString &folder, QString *error)
{
    const QByteArray base = QFile::encodeName(folder);
    const int dir = ::open(base.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    }
    for (int tries = 0; tries < 8; ++tries) {
        const QString name = newName();
        const QByteArray native = QFile::encodeName(name);
        if (::mkdirat(dir, native.constData(), 0700) != 0) {
            if (errno == EEXIST)
                continue;
            break;
        }
        const int lock =
            ::openat(dir, native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (lock < 0 || ::flock(lock, LOCK_EX | LOCK_NB) != 0) {
            *error = QString::fromLocal8Bit(std::strerror(errno));
            if (lock >= 0)
                ::close(lock);
            ::unlinkat(dir, native.constData(), AT_REMOVEDIR);
            ::close(dir);
            return nullptr;
        }
        ::close(dir);
        return std::unique_ptr<StagingFolder>(new StagingFolder(QDir(folder).filePath(name), lock));
    }
    *error = QString::fromLocal8Bit(std::strerror(errno));
    ::close(dir);
    return nullptr;
}

StagingFolder::~StagingFolder()
{
    // A folder of our own, whose links are removed and never followed. The
    // engine may still be taking away the file of a download just cancelled:
    // a file gone under the removal leaves the folder, which goes next time.
    for (int pass = 0; pass < 5 && QFileInfo::exists(m_path); ++pass)
        QDir(m_path).removeRecursively();
    if (m_lock >= 0)
        ::close(m_lock);
}

int StagingFolder::removeLeftovers(const QString &folder)
{
    int removed = 0;
    const QStringList names =
        QDir(folder).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    for (const QString &name : names) {
        if (!isStagingName(name))
            continue;
        const QString path = QDir(folder).filePath(name);
        const int fd = ::open(QFile::encodeName(path).constData(),
                              O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat status;
        // Only our own: a folder of the user's, that no running save holds.
        if (::fstat(fd, &status) == 0 && status.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 && QDir(path).removeRecursively())
            ++removed;
        ::close(fd);
    }
    return removed;
}

#else

std::unique_ptr<StagingFolder> StagingFolder::make(const QString &folder, QString *error)
{
    for (int tries = 0; tries < 8; ++tries) {
        const QString name = newName();
        if (QDir(folder).mkdir(name))
            return std::unique_ptr<StagingFolder>(
                new StagingFolder(QDir(folder).filePath(name), -1));
    }
    *error = QObject::tr("cannot make a folder in %1").arg(folder);
    return nullptr;
}

StagingFolder::~StagingFolder()
{
    QDir(m_path).removeRecursively();
}

int StagingFolder::removeLeftovers(const QString &)
{
    return 0;
}

#endif
