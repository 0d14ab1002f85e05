// quarrow-harvest: the page harvest on the command line. See usageDescription below.

#include "harvest/Bytes.h"
#include "harvest/Harvest.h"
#include "harvest/Tags.h"

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
#include <climits>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <csignal>

#include <sys/mman.h>
#include <unistd.h>

#ifdef __GLIBC__
#include <malloc.h>
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

// Standard output, written a buffer at a time; the first failure is kept.
class Output : public harvest::ByteSink {
public:
    Output() { setBuffer(m_buffer, sizeof m_buffer); }
    bool ok() const { return m_ok; }

protected:
    void take(QByteArrayView bytes) override
    {
        const char *data = bytes.data();
        qsizetype left = bytes.size();
        while (m_ok && left > 0) {
            const ssize_t written = ::write(STDOUT_FILENO, data, size_t(left));
            if (written < 0 && errno == EINTR)
                continue;
            m_ok = written > 0;
            data += written;
            left -= written;
        }
    }
    void discard() override {}

private:
    bool m_ok = true;
    char m_buffer[qsizetype(64) << 10];
};

// Does the value hold a tab, CR, LF, NUL or backslash?
bool needsEscapes(QByteArrayView value)
{
    return harvest::HoldsAnyOf<'\0', '\t', '\r', '\n', '\\'>(value);
}

// A value written so that it can hold no field or line break of its own.
void writeField(Output &out, QByteArrayView value)
{
    if (!needsEscapes(value)) {
        out.write(value);
        return;
    }
    qsizetype done = 0;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char *escape = nullptr;
        switch (value[i]) {
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
        out.write(value.sliced(done, i - done));
        out.write(QByteArrayView(escape, 2));
        done = i + 1;
    }
    out.write(value.sliced(done));
}

bool printLists(const harvest::Utf8Lists &lists)
{
    Output out;
    const struct {
        int k;
        const char *tag;
    } kinds[] = {{0, "link"}, {1, "image"}};
    for (const auto &kind : kinds) {
        const harvest::Utf8List &addresses = lists.Links[kind.k];
        const harvest::Utf8List &keys = lists.Keys[kind.k];
        for (qsizetype i = 0; i < addresses.size(); ++i) {
            out.write(kind.tag);
            out.put('\t');
            writeField(out, addresses.at(i));
            out.put('\t');
            writeField(out, i < keys.size() ? keys.at(i) : QByteArrayView());
            out.put('\n');
        }
    }
    out.flush();
    return out.ok();
}

// The page's bytes, mapped from the file rather than copied: the memory is the
// system's cache of the file, which a copy would have to touch afresh page by page
// (on a virtual machine a fault on a fresh 4 KB page costs more than the harvest's
// work on it). A file that cannot be mapped is read. The bytes live as long as
// the process.
// What is said when the mapped page file is cut short while the harvest reads it:
// the system then stops the process at the first byte that is gone.
QByteArray cutShortMessage;

extern "C" void onCutShort(int)
{
    WorkingFiles::removeUnfinished();
    const ssize_t written =
        ::write(STDERR_FILENO, cutShortMessage.constData(), size_t(cutShortMessage.size()));
    Q_UNUSED(written);
    _exit(2);
}

QByteArrayView readPage(QFile &file, QByteArray &storage)
{
    const qint64 size = file.size();
    if (size > 0) {
        void *mapped =
            mmap(nullptr, size_t(size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, file.handle(), 0);
        if (mapped != MAP_FAILED) {
            cutShortMessage = "quarrow-harvest: cannot read " + QFile::encodeName(file.fileName()) +
                              ": it was cut short while it was read\n";
            struct sigaction action {};
            action.sa_handler = onCutShort;
            sigemptyset(&action.sa_mask);
            sigaction(SIGBUS, &action, nullptr);
            // Had the file grown since, the rest is read after it.
            file.seek(size);
            storage = file.readAll();
            if (storage.isEmpty())
                return QByteArrayView(static_cast<const char *>(mapped), size);
            storage.prepend(static_cast<const char *>(mapped), size);
            return storage;
        }
    }
    storage = file.readAll();
    return storage;
}

// The harvest's lists and tables come from the C library's heap. On a virtual
// machine, first touching a fresh 4 KB page of memory costs more than the work the
// harvest does in it, and megabytes of tables are touched once each. So the heap
// is grown once, up front, by room for what the harvest of a page this size holds,
// and that room is asked to be backed by huge pages: one fault then makes 2 MB
// ready. Blocks up to 32 MB are taken from the heap and stay in it when freed, so
// that a later table reuses the memory of an earlier one instead of touching more.
// Where the system has no huge pages the advice changes nothing.
void prepareHeap(qint64 pageBytes)
{
#ifdef __GLIBC__
    constexpr size_t kChunk = size_t(24) << 20; // below the threshold: from the heap
    constexpr uintptr_t kHuge = uintptr_t(2) << 20;
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, INT_MAX);
    const size_t room = size_t(
        qBound<qint64>(qint64(16) << 20, 3 * pageBytes + (qint64(16) << 20), qint64(1) << 30));
    void *chunks[(qint64(1) << 30) / kChunk + 2] = {};
    size_t taken = 0;
    uintptr_t low = 0;
    uintptr_t high = 0;
    while (taken * kChunk < room) {
        void *chunk = std::malloc(kChunk);
        if (!chunk)
            break;
        chunks[taken++] = chunk;
        const uintptr_t at = reinterpret_cast<uintptr_t>(chunk);
        // Only a run of chunks side by side is one range of the heap.
        if (low != 0 && (at < high || at - high > 64))
            break;
        if (low == 0)
            low = at;
        high = at + kChunk;
    }
    const uintptr_t from = (low + kHuge - 1) & ~(kHuge - 1);
    const uintptr_t to = high & ~(kHuge - 1);
    if (low != 0 && to > from)
        madvise(reinterpret_cast<void *>(from), to - from, MADV_HUGEPAGE);
    while (taken > 0)
        std::free(chunks[--taken]);
#else
    Q_UNUSED(pageBytes);
#endif
}

// --inventory lists a page's pictures as the web engine sees them. That needs
// the engine, which this program must not load: quarrow-inventory, beside it,
// takes over the process with the same words less --inventory, and tells its
// messages under this program's name. Returns only when --inventory is not
// among the options; words after "--" and the values of --url, --base, --out,
// --fail-on and --timeout are not options.
void handOverInventory(int argc, char **argv)
{
    int at = 0;
    for (int i = 1; i < argc && at == 0; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            return;
        if (std::strcmp(argv[i], "--inventory") == 0)
            at = i;
        else if (std::strcmp(argv[i], "--url") == 0 || std::strcmp(argv[i], "--base") == 0 ||
                 std::strcmp(argv[i], "--out") == 0 || std::strcmp(argv[i], "--fail-on") == 0 ||
                 std::strcmp(argv[i], "--timeout") == 0)
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
    // No application object unless help or the version is asked for: nothing else
    // needs one, and making it costs a millisecond of every run. The system's
    // messages (why a write failed) speak the user's language, as they would with
    // one.
    std::setlocale(LC_ALL, "");
    QCoreApplication::setApplicationName(QStringLiteral("quarrow-harvest"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUARROW_VERSION));
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));

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
                       "address; by default the page's own <base href>, else its address)."),
        QStringLiteral("BASE_URL"));
    parser.addOption(urlOption);
    parser.addOption(baseOption);
    parser.addOption(outOption);
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The page text."));
    if (!parser.parse(arguments))
        return fail(parser.errorText() + QStringLiteral("; ") + QLatin1String(kUsage));
    if (parser.isSet(helpOption) || parser.isSet(versionOption)) {
        // Both end the process.
        const QCoreApplication app(argc, argv);
        if (parser.isSet(helpOption))
            parser.showHelp(0);
        parser.showVersion();
    }

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
    QByteArray pageStorage;
    const QByteArrayView pageBytes = readPage(file, pageStorage);
    file.close();
    prepareHeap(pageBytes.size());
    const QString url = parser.isSet(urlOption)
                            ? parser.value(urlOption)
                            : QUrl::fromLocalFile(QFileInfo(input).absoluteFilePath()).toString();

    const WorkingFiles files(outInfo.absoluteFilePath());
    harvest::Utf8Lists lists;
    // Without --base, the page's own <base href> says it, as it does for a browser.
    const QString base =
        parser.isSet(baseOption) ? parser.value(baseOption) : harvest::DocumentBase(pageBytes, url);
    const HarvestReport report = RunHarvestBytes(pageBytes, url, files, lists, base);
    for (const QString &notice : report.notices)
        say(notice);
    const bool printed = printLists(lists);
    if (!report.failure.isEmpty())
        say(QStringLiteral("cannot write %1").arg(report.failure));
    else if (!printed)
        say(QStringLiteral("cannot write the lists to standard output"));
    return report.failure.isEmpty() && printed ? 0 : 1;
}
