#include "windows/FileUtils.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QLocale>
#include <QRandomGenerator>
#include <QStringList>
#include <QWidget>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>
#endif

QString FileNameOf(const QString &path)
{
    if (path.isEmpty())
        return QString();
    qsizetype cut = path.lastIndexOf(QLatin1Char('\\'));
#ifndef Q_OS_WIN
    cut = std::max(cut, path.lastIndexOf(QLatin1Char('/')));
#endif
    return path.mid(cut + 1);
}

bool FileExists(const QString &path)
{
    const QString name = FileNameOf(path);
    if (name.isEmpty())
        return false;
    QString folderPath = path.left(path.size() - name.size());
    if (folderPath.isEmpty())
        folderPath = QStringLiteral(".");
    const QDir folder(folderPath);
    if (!folder.exists())
        return false;

    // The exact name first: the common case needs no listing.
    const QFileInfo exact(folder.filePath(name));
    if (exact.exists() && exact.fileName() == name)
        return exact.isFile() && !exact.isHidden();

    // Plain visible files only; hidden entries and folders never match.
    const QStringList entries = folder.entryList(QDir::Files | QDir::NoDotAndDotDot);
    const QString wanted = name.toUpper();
    for (const QString &entry : entries) {
        if (entry.toUpper() == wanted)
            return true;
    }
    return false;
}

void SetTopMost(QWidget *form)
{
    if (!form)
        return;
    const bool wasVisible = form->isVisible();
    const QRect geometry = form->geometry();
    form->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    // Changing a window's flags hides it; bring it back where it was.
    if (wasVisible) {
        form->setGeometry(geometry);
        form->show();
    }
}

// ---------------------------------------------------------------------------
// Names and writes of saved pictures.

namespace {

struct PictureType {
    const char *mimeType;
    QStringList extensions;   // the first is the one a picture gets
    const char *readerFormat; // Qt's image reader for it
};

const QList<PictureType> &pictureTypes()
{
    static const QList<PictureType> types = {
        {"image/jpeg", {"jpg", "jpeg", "jpe", "jfif"}, "jpeg"},
        {"image/png", {"png", "apng"}, "png"},
        {"image/apng", {"png", "apng"}, "png"},
        {"image/gif", {"gif"}, "gif"},
        {"image/webp", {"webp"}, "webp"},
        {"image/svg+xml", {"svg"}, "svg"},
        {"image/avif", {"avif"}, "avif"},
        {"image/bmp", {"bmp", "dib"}, "bmp"},
        {"image/x-ms-bmp", {"bmp", "dib"}, "bmp"},
        {"image/vnd.microsoft.icon", {"ico", "cur"}, "ico"},
        {"image/x-icon", {"ico", "cur"}, "ico"},
        {"image/tiff", {"tif", "tiff"}, "tiff"},
        {"image/jxl", {"jxl"}, "jxl"},
    };
    return types;
}

const PictureType *pictureType(const QString &mimeType)
{
    const QString type = mimeType.trimmed().toLower();
    for (const PictureType &t : pictureTypes()) {
        if (type == QLatin1String(t.mimeType))
            return &t;
    }
    return nullptr;
}

// Extensions that a desktop, a shell or a browser would run or render as more
// than a picture.
bool runsOrRenders(const QString &extension)
{
    static const QStringList risky = {
        "html", "htm",  "xhtml", "shtml", "mht", "mhtml",   "xht",      "hta",     "exe",  "com",
        "bat",  "cmd",  "scr",   "pif",   "msi", "msp",     "cpl",      "dll",     "lnk",  "url",
        "vbs",  "vbe",  "js",    "jse",   "mjs", "wsf",     "wsh",      "ps1",     "psm1", "reg",
        "jar",  "sh",   "bash",  "zsh",   "csh", "desktop", "app",      "command", "php",  "phtml",
        "asp",  "aspx", "jsp",   "pl",    "py",  "rb",      "appimage", "run",     "deb",  "rpm",
        "apk",  "xml",  "xsl",   "swf",   "pdf", "docm",    "xlsm",     "pptm",    "iso",  "img",
    };
    return risky.contains(extension.toLower());
}

// An extension as names carry them: a few letters and digits.
bool looksLikeExtension(const QString &extension)
{
    if (extension.isEmpty() || extension.size() > 10)
        return false;
    for (const QChar c : extension) {
        if (c.unicode() >= 0x80 || !c.isLetterOrNumber())
            return false;
    }
    return true;
}

int utf8Length(char32_t c)
{
    return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

int utf8Length(const QString &text)
{
    return int(text.toUtf8().size());
}

// The longest start of `text` of at most `maxBytes` bytes of UTF-8, made of
// whole characters.
QString cutToBytes(const QString &text, int maxBytes)
{
    int bytes = 0;
    qsizetype end = 0;
    while (end < text.size()) {
        char32_t c = text.at(end).unicode();
        qsizetype units = 1;
        if (text.at(end).isHighSurrogate() && end + 1 < text.size() &&
            text.at(end + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text.at(end), text.at(end + 1));
            units = 2;
        }
        if (bytes + utf8Length(c) > maxBytes)
            break;
        bytes += utf8Length(c);
        end += units;
    }
    return text.left(end);
}

// The extension part of a name (with its dot) that a cut keeps, or empty.
qsizetype extensionStart(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0 || name.size() - dot > 21)
        return -1;
    return dot;
}

void trimEnds(QString &name)
{
    for (;;) {
        const qsizetype before = name.size();
        name = name.trimmed();
        while (name.startsWith(QLatin1Char('.')))
            name.remove(0, 1);
        while (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')))
            name.chop(1);
        if (name.size() == before)
            return;
    }
}

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray nativePath(const QString &path)
{
    return QFile::encodeName(path);
}

} // namespace

QString PictureExtension(const QString &mimeType)
{
    const PictureType *type = pictureType(mimeType);
    return type ? type->extensions.constFirst() : QString();
}

QByteArray PictureReaderFormat(const QString &mimeType)
{
    const PictureType *type = pictureType(mimeType);
    return type ? QByteArray(type->readerFormat) : QByteArray();
}

QString SniffPictureType(const QByteArray &head)
{
    auto starts = [&head](QByteArrayView signature, qsizetype at = 0) {
        return head.size() >= at && QByteArrayView(head).sliced(at).startsWith(signature);
    };
    if (starts("\x89PNG\r\n\x1a\n"))
        return QStringLiteral("image/png");
    if (starts("\xff\xd8\xff"))
        return QStringLiteral("image/jpeg");
    if (starts("GIF87a") || starts("GIF89a"))
        return QStringLiteral("image/gif");
    if (starts("RIFF") && starts("WEBP", 8))
        return QStringLiteral("image/webp");
    if (starts("ftyp", 4) && (starts("avif", 8) || starts("avis", 8)))
        return QStringLiteral("image/avif");
    if (starts("\xff\x0a") || starts(QByteArray("\0\0\0\x0cJXL \r\n\x87\n", 12)))
        return QStringLiteral("image/jxl");
    if (starts("II*") && head.size() > 3 && head.at(3) == 0)
        return QStringLiteral("image/tiff");
    if (starts(QByteArray("MM\0*", 4)))
        return QStringLiteral("image/tiff");
    if (starts("BM") && head.size() >= 18) {
        // The size of the header that follows the file's: one of a few.
        const uchar size = uchar(head.at(14));
        if (head.at(15) == 0 && head.at(16) == 0 && head.at(17) == 0 &&
            QByteArray::fromRawData("\x0c\x28\x34\x38\x40\x6c\x7c", 7).contains(char(size)))
            return QStringLiteral("image/bmp");
    }
    if (starts(QByteArray("\0\0\1\0", 4)) && head.size() >= 6 && (head.at(4) || head.at(5)))
        return QStringLiteral("image/vnd.microsoft.icon");
    // SVG: markup whose first element is <svg, after a declaration, comments
    // or a document type.
    QByteArray text = head;
    if (text.startsWith("\xef\xbb\xbf"))
        text.remove(0, 3);
    qsizetype at = 0;
    for (;;) {
        while (at < text.size() && std::isspace(uchar(text.at(at))))
            ++at;
        if (text.mid(at).startsWith("<?") || text.mid(at).startsWith("<!")) {
            const qsizetype bracket = text.indexOf('[', at);
            const qsizetype angle = text.indexOf('>', at);
            // A document type with declarations of its own ends at "]>".
            const char *close =
                text.mid(at).startsWith("<!--")                                           ? "-->"
                : text.mid(at).startsWith("<!DOCTYPE") && bracket >= 0 && bracket < angle ? "]>"
                                                                                          : ">";
            const qsizetype end = text.indexOf(close, at);
            if (end < 0)
                return {};
            at = end + qsizetype(std::strlen(close));
            continue;
        }
        break;
    }
    const QByteArray rest = text.mid(at, 5);
    if (rest.startsWith("<svg") && (rest.size() < 5 || !std::isalnum(uchar(rest.at(4)))))
        return QStringLiteral("image/svg+xml");
    return {};
}

bool IsReservedDeviceName(const QString &name)
{
    QString stem = name.left(name.indexOf(QLatin1Char('.')) < 0 ? name.size()
                                                                : name.indexOf(QLatin1Char('.')));
    while (stem.endsWith(QLatin1Char(' ')))
        stem.chop(1);
    stem = stem.toUpper();
    static const QStringList plain = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    if (plain.contains(stem))
        return true;
    if (stem.size() == 4 &&
        (stem.startsWith(QLatin1String("COM")) || stem.startsWith(QLatin1String("LPT")))) {
        const QChar last = stem.at(3);
        // Digits, and the superscript ones Windows also counts.
        return (last >= QLatin1Char('0') && last <= QLatin1Char('9')) || last == QChar(0xb9) ||
               last == QChar(0xb2) || last == QChar(0xb3);
    }
    return false;
}

QString FitFileName(const QString &name, int maxBytes)
{
    if (utf8Length(name) <= maxBytes)
        return name;
    const qsizetype dot = extensionStart(name);
    const QString tail = dot < 0 ? QString() : name.mid(dot);
    const QString stem = dot < 0 ? name : name.left(dot);
    return cutToBytes(stem, maxBytes - utf8Length(tail)) + tail;
}

QString NumberedFileName(const QString &name, int n)
{
    const qsizetype dot = extensionStart(name);
    const QString suffix = QStringLiteral(" (%1)").arg(n);
    const QString tail = dot < 0 ? QString() : name.mid(dot);
    const QString stem = dot < 0 ? name : name.left(dot);
    return cutToBytes(stem, MaxFileNameBytes - utf8Length(suffix + tail)) + suffix + tail;
}

QString WithPictureExtension(const QString &name, const QString &mimeType)
{
    const PictureType *type = pictureType(mimeType);
    if (!type)
        return name;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot > 0 ? name.mid(dot + 1) : QString();
    if (type->extensions.contains(extension.toLower()))
        return name;
    const QString stem = dot > 0 && looksLikeExtension(extension) ? name.left(dot) : name;
    return FitFileName(stem + QLatin1Char('.') + type->extensions.constFirst());
}

QString SafeFileName(const QString &raw, const QString &mimeType)
{
    QList<char32_t> kept;
    kept.reserve(raw.size());
    for (const char32_t c : raw.toUcs4()) {
        switch (QChar::category(c)) {
        case QChar::Other_Format: // bidirectional controls, zero-width characters
            continue;
        case QChar::Other_Control:
        case QChar::Other_Surrogate:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            kept.append(U'_');
            continue;
        default:
            break;
        }
        if (c < 0x80 && std::strchr("/\\:*?\"<>|", int(c)))
            kept.append(U'_');
        else
            kept.append(c);
    }
    QString name = QString::fromUcs4(kept.constData(), kept.size());
    trimEnds(name);
    if (name.isEmpty())
        name = QStringLiteral("picture");
    if (pictureType(mimeType)) {
        name = WithPictureExtension(name, mimeType);
    } else {
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        if (dot > 0 && runsOrRenders(name.mid(dot + 1)))
            name[dot] = QLatin1Char('_');
    }
    if (IsReservedDeviceName(name)) {
        qsizetype at = name.indexOf(QLatin1Char('.'));
        if (at < 0)
            at = name.size();
        while (at > 0 && name.at(at - 1) == QLatin1Char(' '))
            --at;
        name.insert(at, QLatin1Char('_'));
    }
    name = FitFileName(name);
    trimEnds(name);
    return name.isEmpty() ? QStringLiteral("picture") : name;
}

bool EntryExists(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

QString NewPartFileName()
{
    return QStringLiteral(".quarrow-%1.part")
        .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
}

#ifdef Q_OS_UNIX

namespace {

// File systems whose "regular files" are the kernel's: their sizes say
// nothing, and reading them tells what the user's processes are.
bool isKernelFileSystem(int fd)
{
    struct statfs fs;
    if (::fstatfs(fd, &fs) != 0)
        return false;
    static const unsigned long kernel[] = {
        0x9fa0,     // proc
        0x62656572, // sysfs
        0x64626720, // debugfs
        0x74726163, // tracefs
        0x73636673, // securityfs
        0x27e0eb,   // cgroup
        0x63677270, // cgroup2
        0xde5e81e4, // efivarfs
        0xcafe4a11, // bpf
        0x62656570, // configfs
        0x6e736673, // nsfs
    };
    for (const unsigned long type : kernel) {
        if ((unsigned long)fs.f_type == type)
            return true;
    }
    return false;
}

// A descriptor of the regular file at `path` (relative to `folder`, a folder
// descriptor or AT_FDCWD), opened without waiting on it; -1 and *error else.
int openRegular(int folder, const QString &path, int flags, struct stat *status, QString *error)
{
    const int fd = ::openat(folder, nativePath(path).constData(),
                            O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | flags);
    if (fd < 0) {
        *error = errno == ELOOP ? QObject::tr("it is a link") : errnoText(errno);
        return -1;
    }
    if (::fstat(fd, status) != 0 || !S_ISREG(status->st_mode) || isKernelFileSystem(fd)) {
        *error = QObject::tr("not a regular file");
        ::close(fd);
        return -1;
    }
    return fd;
}

// Reads from `fd` until its end, at most `limit` bytes; false when there is more.
bool readUpTo(int fd, qint64 limit, QByteArray *out, QString *error)
{
    out->clear();
    for (;;) {
        const qint64 room = std::min<qint64>(limit + 1 - out->size(), 1 << 20);
        if (room <= 0)
            return false;
        const qsizetype had = out->size();
        out->resize(had + room);
        const ssize_t got = ::read(fd, out->data() + had, size_t(room));
        if (got < 0) {
            if (errno == EINTR) {
                out->resize(had);
                continue;
            }
            *error = errnoText(errno);
            out->clear();
            return false;
        }
        out->resize(had + got);
        if (got == 0)
            return true;
    }
}

} // namespace

QByteArray ReadRegularFile(const QString &path, qint64 maxBytes, QString *error)
{
    QString why;
    struct stat status;
    const int fd = openRegular(AT_FDCWD, path, 0, &status, &why);
    QByteArray bytes;
    if (fd >= 0) {
        if (status.st_size > maxBytes || (!readUpTo(fd, maxBytes, &bytes, &why) && why.isEmpty()))
            why = QObject::tr("larger than %1")
                      .arg(QLocale().formattedDataSize(maxBytes, 0,
                                                       QLocale::DataSizeTraditionalFormat));
        ::close(fd);
    }
    if (!why.isEmpty()) {
        if (error)
            *error = why;
        return {};
    }
    if (bytes.isNull())
        bytes = QByteArray("", 0);
    return bytes;
}

QByteArray FileHead(const QString &folder, const QString &name, int bytes, qint64 *size,
                    QString *error)
{
    const int dir = ::open(nativePath(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        *error = errnoText(errno);
        return {};
    }
    struct stat status;
    const int fd = openRegular(dir, name, O_NOFOLLOW, &status, error);
    ::close(dir);
    if (fd < 0)
        return {};
    *size = status.st_size;
    QByteArray head(bytes, Qt::Uninitialized);
    const ssize_t got = ::pread(fd, head.data(), size_t(bytes), 0);
    ::close(fd);
    if (got < 0) {
        *error = errnoText(errno);
        return {};
    }
    head.resize(got);
    return head;
}

namespace {

// Opens (making it when `make`) each folder of `folders` below `dir`, never
// through a link; -1 and why when one is a link or no folder. `dir` stays open.
int openFolders(int dir, const QStringList &folders, bool make, PlaceResult *result, QString *error)
{
    int at = ::dup(dir);
    if (at < 0) {
        *error = errnoText(errno);
        return -1;
    }
    for (const QString &folder : folders) {
        const QByteArray name = nativePath(folder);
        if (make && ::mkdirat(at, name.constData(), 0777) != 0 && errno != EEXIST) {
            *error = errnoText(errno);
            ::close(at);
            return -1;
        }
        const int next =
            ::openat(at, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0) {
            const int why = errno;
            struct stat status;
            const bool link = ::fstatat(at, name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
                              S_ISLNK(status.st_mode);
            *error = link             ? QObject::tr("%1 is a link").arg(folder)
                     : why == ENOTDIR ? QObject::tr("%1 is not a folder").arg(folder)
                     : why == ELOOP   ? QObject::tr("%1 is a link").arg(folder)
                                      : errnoText(why);
            if (link || why == ENOTDIR || why == ELOOP)
                *result = PlaceResult::Refused;
            ::close(at);
            return -1;
        }
        ::close(at);
        at = next;
    }
    return at;
}

// Renames `part` of `fromDir` into `dir` as `name`, as PlaceFileAt says.
PlaceResult placeInto(int fromDir, const QByteArray &part, int dir, const QString &name,
                      bool replace, QString *finalName, QString *error)
{
    PlaceResult result = PlaceResult::Failed;
    struct stat status;
    int races = 0;
    for (int n = 1; n < 10000 && races < 100; ++n) {
        const QString candidate = n == 1 ? name : NumberedFileName(name, n);
        const QByteArray target = nativePath(candidate);
        if (::fstatat(dir, target.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
            if (S_ISLNK(status.st_mode) || !S_ISREG(status.st_mode)) {
                *error = S_ISLNK(status.st_mode) ? QObject::tr("%1 is a link").arg(candidate)
                         : S_ISDIR(status.st_mode)
                             ? QObject::tr("%1 is a folder").arg(candidate)
                             : QObject::tr("%1 is not a regular file").arg(candidate);
                result = PlaceResult::Refused;
                break;
            }
            if (!replace)
                continue;
            // A regular file the user agreed to replace. A rename never
            // follows a link that might have taken its place since.
            if (::renameat(fromDir, part.constData(), dir, target.constData()) == 0) {
                *finalName = candidate;
                result = PlaceResult::Placed;
            } else {
                *error = errnoText(errno);
            }
            break;
        }
        if (errno != ENOENT) {
            *error = errnoText(errno);
            break;
        }
        // Nothing of that name: take it, unless something takes it first.
        if (::renameat2(fromDir, part.constData(), dir, target.constData(), RENAME_NOREPLACE) ==
            0) {
            *finalName = candidate;
            result = PlaceResult::Placed;
            break;
        }
        if (errno == EEXIST) {
            --n; // look at what came
            ++races;
            continue;
        }
        if (errno != EINVAL && errno != ENOSYS) {
            *error = errnoText(errno);
            break;
        }
        // A file system without the exclusive rename: a hard link is exclusive too.
        if (::linkat(fromDir, part.constData(), dir, target.constData(), 0) == 0) {
            *finalName = candidate;
            result = PlaceResult::Placed;
            break;
        }
        if (errno == EEXIST) {
            --n;
            ++races;
            continue;
        }
        if (::renameat(fromDir, part.constData(), dir, target.constData()) == 0) {
            *finalName = candidate;
            result = PlaceResult::Placed;
        } else {
            *error = errnoText(errno);
        }
        break;
    }
    return result;
}

} // namespace

PlaceResult PlaceFile(const QString &folder, const QString &partName, const QString &name,
                      bool replace, QString *finalName, QString *error)
{
    return PlaceFileAt(folder, partName, folder, name, replace, finalName, error);
}

PlaceResult PlaceFileAt(const QString &fromFolder, const QString &partName, const QString &folder,
                        const QString &relativePath, bool replace, QString *finalName,
                        QString *error)
{
    const int from = ::open(nativePath(fromFolder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (from < 0) {
        *error = errnoText(errno);
        return PlaceResult::Failed;
    }
    const QByteArray part = nativePath(partName);
    struct stat status;
    if (::fstatat(from, part.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(status.st_mode)) {
        *error = QObject::tr("the downloaded file is gone");
        ::close(from);
        return PlaceResult::Failed;
    }
    PlaceResult result = PlaceResult::Failed;
    QStringList folders = relativePath.split(QLatin1Char('/'));
    const QString name = folders.takeLast();
    const int base = ::open(nativePath(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int dir = base < 0 ? -1 : openFolders(base, folders, true, &result, error);
    if (base < 0)
        *error = errnoText(errno);
    if (dir >= 0) {
        result = placeInto(from, part, dir, name, replace, finalName, error);
        if (result == PlaceResult::Placed && !folders.isEmpty())
            *finalName = folders.join(QLatin1Char('/')) + QLatin1Char('/') + *finalName;
        ::close(dir);
    }
    if (base >= 0)
        ::close(base);
    ::unlinkat(from, part.constData(), 0);
    ::close(from);
    return result;
}

QByteArray HashFile(const QString &folder, const QString &name, qint64 *size, QByteArray *head,
                    int headBytes, QString *error)
{
    const int dir = ::open(nativePath(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        *error = errnoText(errno);
        return {};
    }
    struct stat status;
    const int fd = openRegular(dir, name, O_NOFOLLOW, &status, error);
    ::close(dir);
    if (fd < 0)
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    head->clear();
    qint64 total = 0;
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), size_t(buffer.size()));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            *error = errnoText(errno);
            ::close(fd);
            return {};
        }
        if (got == 0)
            break;
        if (head->size() < headBytes)
            head->append(buffer.constData(), std::min<qsizetype>(got, headBytes - head->size()));
        hash.addData(QByteArrayView(buffer.constData(), got));
        total += got;
    }
    ::close(fd);
    *size = total;
    return hash.result();
}

PlaceResult WriteFileSafely(const QString &folder, const QString &name, const QByteArray &bytes,
                            bool replace, QString *finalName, QString *error)
{
    const int dir = ::open(nativePath(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        *error = errnoText(errno);
        return PlaceResult::Failed;
    }
    QString partName;
    int fd = -1;
    for (int tries = 0; fd < 0 && tries < 8; ++tries) {
        partName = NewPartFileName();
        fd = ::openat(dir, nativePath(partName).constData(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    ::close(dir);
    if (fd < 0) {
        *error = errnoText(errno);
        return PlaceResult::Failed;
    }
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        written += n;
    }
    const int writeError = errno;
    const bool closed = ::close(fd) == 0;
    if (written < bytes.size() || !closed) {
        *error = errnoText(written < bytes.size() ? writeError : errno);
        QFile::remove(QDir(folder).filePath(partName));
        return PlaceResult::Failed;
    }
    return PlaceFileAt(folder, partName, folder, name, replace, finalName, error);
}

#else

QByteArray ReadRegularFile(const QString &path, qint64 maxBytes, QString *error)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        *error = QObject::tr("not a regular file");
        return {};
    }
    if (file.size() > maxBytes) {
        *error =
            QObject::tr("larger than %1")
                .arg(QLocale().formattedDataSize(maxBytes, 0, QLocale::DataSizeTraditionalFormat));
        return {};
    }
    QByteArray bytes = file.read(maxBytes);
    return bytes.isNull() ? QByteArray("", 0) : bytes;
}

QByteArray FileHead(const QString &folder, const QString &name, int bytes, qint64 *size,
                    QString *error)
{
    const QFileInfo info(QDir(folder).filePath(name));
    QFile file(info.filePath());
    if (info.isSymLink() || !info.isFile() || !file.open(QIODevice::ReadOnly)) {
        *error = QObject::tr("not a regular file");
        return {};
    }
    *size = file.size();
    return file.read(bytes);
}

PlaceResult PlaceFile(const QString &folder, const QString &partName, const QString &name,
                      bool replace, QString *finalName, QString *error)
{
    const QDir dir(folder);
    const QString part = dir.filePath(partName);
    PlaceResult result = PlaceResult::Failed;
    for (int n = 1; n < 10000; ++n) {
        const QString candidate = n == 1 ? name : NumberedFileName(name, n);
        const QFileInfo info(dir.filePath(candidate));
        if (EntryExists(info.filePath())) {
            if (info.isSymLink() || !info.isFile()) {
                *error = QObject::tr("%1 is a link or a folder").arg(candidate);
                result = PlaceResult::Refused;
                break;
            }
            if (!replace)
                continue;
            QFile::remove(info.filePath());
        }
        if (QFile::rename(part, info.filePath())) {
            *finalName = candidate;
            result = PlaceResult::Placed;
        } else {
            *error = QObject::tr("cannot write %1").arg(candidate);
        }
        break;
    }
    QFile::remove(part);
    return result;
}

PlaceResult PlaceFileAt(const QString &fromFolder, const QString &partName, const QString &folder,
                        const QString &relativePath, bool replace, QString *finalName,
                        QString *error)
{
    const qsizetype slash = relativePath.lastIndexOf(QLatin1Char('/'));
    const QString sub = slash < 0 ? QString() : relativePath.left(slash);
    if (!sub.isEmpty() && !QDir(folder).mkpath(sub)) {
        *error = QObject::tr("cannot make %1").arg(sub);
        QFile::remove(QDir(fromFolder).filePath(partName));
        return PlaceResult::Failed;
    }
    const QString target = QDir(folder).filePath(sub);
    if (QDir::cleanPath(target) != QDir::cleanPath(fromFolder)) {
        const QString moved = NewPartFileName();
        if (!QFile::rename(QDir(fromFolder).filePath(partName), QDir(target).filePath(moved))) {
            *error = QObject::tr("cannot write %1").arg(relativePath);
            QFile::remove(QDir(fromFolder).filePath(partName));
            return PlaceResult::Failed;
        }
        const PlaceResult result =
            PlaceFile(target, moved, relativePath.mid(slash + 1), replace, finalName, error);
        if (result == PlaceResult::Placed && !sub.isEmpty())
            *finalName = sub + QLatin1Char('/') + *finalName;
        return result;
    }
    return PlaceFile(folder, partName, relativePath, replace, finalName, error);
}

QByteArray HashFile(const QString &folder, const QString &name, qint64 *size, QByteArray *head,
                    int headBytes, QString *error)
{
    const QFileInfo info(QDir(folder).filePath(name));
    QFile file(info.filePath());
    if (info.isSymLink() || !info.isFile() || !file.open(QIODevice::ReadOnly)) {
        *error = QObject::tr("not a regular file");
        return {};
    }
    *head = file.peek(headBytes);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    *size = file.size();
    return hash.result();
}

PlaceResult WriteFileSafely(const QString &folder, const QString &name, const QByteArray &bytes,
                            bool replace, QString *finalName, QString *error)
{
    const QString partName = NewPartFileName();
    QFile file(QDir(folder).filePath(partName));
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) ||
        file.write(bytes) != bytes.size() || !file.flush()) {
        *error = file.errorString();
        file.remove();
        return PlaceResult::Failed;
    }
    file.close();
    return PlaceFile(folder, partName, name, replace, finalName, error);
}

#endif
