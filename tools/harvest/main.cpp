// quarrow-harvest: the page harvest on the command line. See usageDescription below.

#include "harvest/Harvest.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryFile>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#ifdef __GLIBC__
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

const char kDescription[] =
    "Runs Quarrow's page harvest on FILE (UTF-8 page text) with PAGE_URL as the\n"
    "page's address (default: FILE's own file URL) and BASE_URL as the address its\n"
    "relative references resolve against (default: PAGE_URL), writes the six working files\n"
    "into DIR (default: the current folder) and prints the result lists, one entry a\n"
    "line: \"link<TAB>address<TAB>key\" for the links to pictures, then\n"
    "\"image<TAB>address<TAB>key\" for the pictures.\n"
    "\n"
    "In the printed values, tab, CR, LF, NUL and backslash are written as \\t, \\r,\n"
    "\\n, \\0 and \\\\, so that every entry is exactly one line of three fields.\n"
    "\n"
    "Exit status: 0 when every file was written; 1 when a file or the output could\n"
    "not be written (one line on standard error says which and why); 2 for a usage\n"
    "error or a FILE or DIR that cannot be used, in which case no file is touched.\n"
    "Limits that the harvest reached on a huge page are told on standard error.";

const char kUsage[] = "usage: quarrow-harvest [--url PAGE_URL] [--base BASE_URL] [--out DIR] FILE";

void say(const QString &message)
{
    std::fprintf(stderr, "quarrow-harvest: %s\n", message.toLocal8Bit().constData());
}

int fail(const QString &message)
{
    say(message);
    return 2;
}

// A value written so that it can hold no field or line break of its own.
void appendField(QByteArray &out, const QString &value)
{
    const QByteArray bytes = value.toUtf8();
    qsizetype done = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes.at(i);
        const char *escape = nullptr;
        switch (c) {
        case '\t':
            escape = "\\t";
            break;
        case '\r':
            escape = "\\r";
            break;
        case '\n':
            escape = "\\n";
            break;
        case '\0':
            escape = "\\0";
            break;
        case '\\':
            escape = "\\\\";
            break;
        default:
            continue;
        }
        out.append(bytes.constData() + done, i - done);
        out.append(escape, 2);
        done = i + 1;
    }
    out.append(bytes.constData() + done, bytes.size() - done);
}

bool printLists(const ResultLists &lists)
{
    QByteArray out;
    const struct {
        int k;
        const char *tag;
    } kinds[] = {{0, "link"}, {1, "image"}};
    for (const auto &kind : kinds) {
        const QStringList &addresses = lists.Links[kind.k];
        const QStringList &keys = lists.Keys[kind.k];
        for (qsizetype i = 0; i < addresses.size(); ++i) {
            out += kind.tag;
            out += '\t';
            appendField(out, addresses.at(i));
            out += '\t';
            appendField(out, i < keys.size() ? keys.at(i) : QString());
            out += '\n';
        }
    }
    const bool written =
        std::fwrite(out.constData(), 1, size_t(out.size()), stdout) == size_t(out.size());
    return std::fflush(stdout) == 0 && written && !std::ferror(stdout);
}

// The page's bytes, in memory of their own that the system maps in one go
// (MAP_POPULATE) instead of page by page as it is first written: on a virtual
// machine a fault on a fresh 4 KB page costs more than the harvest's work on it.
// The memory lives as long as the process.
QByteArray readPage(QFile &file)
{
#ifdef __GLIBC__
    const qint64 size = file.size();
    // Room for a page that grows while it is read is made by reading on after it.
    const qint64 room = size + 1;
    void *memory = mmap(nullptr, size_t(room), PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (memory != MAP_FAILED) {
        char *data = static_cast<char *>(memory);
        qint64 read = 0;
        while (read < room) {
            const qint64 got = file.read(data + read, room - read);
            if (got <= 0)
                break;
            read += got;
        }
        if (read < room)
            return QByteArray::fromRawData(data, qsizetype(read));
        return QByteArray(data, qsizetype(read)) + file.readAll();
    }
#endif
    return file.readAll();
}

// --inventory lists a page's pictures as the web engine sees them. That needs
// the engine, which this program must not load: quarrow-inventory, beside it,
// takes over the process with the same words less --inventory, and tells its
// messages under this program's name. Returns only when --inventory is not
// among the options; words after "--" and the values of --url, --base and --out
// are not options.
void handOverInventory(int argc, char **argv)
{
    int at = 0;
    for (int i = 1; i < argc && at == 0; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            return;
        if (std::strcmp(argv[i], "--inventory") == 0)
            at = i;
        else if (std::strcmp(argv[i], "--url") == 0 || std::strcmp(argv[i], "--base") == 0 ||
                 std::strcmp(argv[i], "--out") == 0)
            ++i;
    }
    if (at == 0)
        return;
    char self[4096];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    QByteArray tool = length > 0 ? QByteArray(self, length) : QByteArray(argv[0]);
    tool.truncate(tool.lastIndexOf('/') + 1);
    tool += "quarrow-inventory";
    QList<char *> words;
    for (int i = 0; i < argc; ++i) {
        if (i != at)
            words.append(argv[i]);
    }
    words.append(nullptr);
    ::execv(tool.constData(), words.data());
    std::fprintf(stderr, "quarrow-harvest: cannot start %s: %s\n", tool.constData(),
                 std::strerror(errno));
    std::exit(1);
}

} // namespace

int main(int argc, char **argv)
{
    handOverInventory(argc, argv);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quarrow-harvest"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUARROW_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption urlOption(QStringLiteral("url"), QStringLiteral("The page's address."),
                                       QStringLiteral("PAGE_URL"));
    const QCommandLineOption outOption(QStringLiteral("out"),
                                       QStringLiteral("The folder for the working files."),
                                       QStringLiteral("DIR"));
    const QCommandLineOption baseOption(
        QStringLiteral("base"),
        QStringLiteral("The address relative references resolve against (the document's base "
                       "address)."),
        QStringLiteral("BASE_URL"));
    parser.addOption(urlOption);
    parser.addOption(baseOption);
    parser.addOption(outOption);
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The page text."));
    if (!parser.parse(app.arguments()))
        return fail(parser.errorText() + QStringLiteral("; ") + QLatin1String(kUsage));
    if (parser.isSet(helpOption))
        parser.showHelp(0);
    if (parser.isSet(versionOption))
        parser.showVersion();

    const QStringList inputs = parser.positionalArguments();
    if (inputs.isEmpty())
        return fail(QStringLiteral("no FILE given; %1").arg(QLatin1String(kUsage)));
    if (inputs.size() > 1)
        return fail(QStringLiteral("more than one FILE; %1").arg(QLatin1String(kUsage)));
    const QString input = inputs.first();
    const QString out = parser.isSet(outOption) ? parser.value(outOption) : QDir::currentPath();

    QFile file(input);
    if (!QFileInfo(input).isFile() || !file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read %1").arg(input));
    const QFileInfo outInfo(out);
    // The permission bits do not tell everything (root, read-only mounts): try.
    QTemporaryFile probe(outInfo.absoluteFilePath() + QStringLiteral("/.quarrow-harvest-XXXXXX"));
    if (!outInfo.isDir() || !probe.open())
        return fail(QStringLiteral("cannot write into folder %1").arg(out));
    probe.remove();

    // The page stays in its UTF-8 bytes: the harvest reads them as they are.
    const QByteArray pageBytes = readPage(file);
    file.close();
    const QString url = parser.isSet(urlOption)
                            ? parser.value(urlOption)
                            : QUrl::fromLocalFile(QFileInfo(input).absoluteFilePath()).toString();

    const WorkingFiles files(outInfo.absoluteFilePath());
    ResultLists lists;
    const QString base = parser.isSet(baseOption) ? parser.value(baseOption) : url;
    const HarvestReport report = RunHarvestUtf8(pageBytes, url, files, lists, base);
    for (const QString &notice : report.notices)
        say(notice);
    const bool printed = printLists(lists);
    if (!report.failure.isEmpty())
        say(QStringLiteral("cannot write %1").arg(report.failure));
    else if (!printed)
        say(QStringLiteral("cannot write the lists to standard output"));
    return report.failure.isEmpty() && printed ? 0 : 1;
}
