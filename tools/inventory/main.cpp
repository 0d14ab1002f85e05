// quarrow-inventory: the page inventory on the command line. See kDescription below.

#include "InventoryPrinter.h"
#include "LiveInventory.h"

#include "platform/FetchNothing.h"
#include "platform/PageInventory.h"
#include "platform/PictureAudit.h"
#include "platform/SavedPage.h"
#include "windows/FileUtils.h"
#include "windows/MediaModels.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringConverter>
#include <QTimer>
#include <QUrl>
#include <QWebEngineProfile>

#include <chrono>
#include <cstdio>
#include <limits>
#include <memory>
#include <unistd.h>

namespace {

const char kDescription[] =
    "Reads FILE (a saved page) as the web engine does at PAGE_URL (default: FILE's\n"
    "own file URL), without fetching anything it names and without running any of\n"
    "its scripts, and prints every picture it uses, one a line, in document order\n"
    "of first use: \"picture<TAB>address<TAB>kinds\", the kinds comma-separated among\n"
    "img, srcset, source, lazy, css, icon, meta, poster, input, svg, object, link.\n"
    "\n"
    "The page is parsed as a browser that runs scripts parses it: what it holds\n"
    "inside <noscript> is text, and not listed. With --no-script it is parsed as a\n"
    "browser without scripts (a search engine's crawler) parses it, and that is\n"
    "listed too. Frames the page names are not loaded; frames made of its own text\n"
    "(srcdoc) are, and their pictures listed, as are those of open shadow roots.\n"
    "\n"
    "FILE is read as UTF-8 unless it starts with a byte order mark or its markup\n"
    "names its character set near the top.\n"
    "\n"
    "ADDRESS (http:// or https://) instead loads the page over the network, with\n"
    "its scripts (none with --no-script), in a window of 1280 x 800 nobody sees, and\n"
    "lists its pictures once it has loaded (within --timeout); with --scroll, after\n"
    "scrolling it to its end to load its lazy pictures (at most 20 s and 150\n"
    "screens; a page that keeps growing is left). It tells where each picture came\n"
    "from (source: markup, script, style or placeholder, by the markup the server\n"
    "sent) and whether it loaded (state: shown, loaded, waiting, failed or\n"
    "not-loaded). A FILE loads nothing: each picture's source is markup and its\n"
    "state not-loaded.\n"
    "\n"
    "--audit adds what is wrong with each picture: missing-alt, missing-size,\n"
    "oversized, heavy, animated-gif, webp-smaller, offscreen-eager,\n"
    "lazy-in-first-screen, broken. For an ADDRESS each picture's bytes are fetched\n"
    "again (within --timeout) to estimate what a smaller file would save; an\n"
    "estimate that cannot be made is told on standard error. For a FILE only what\n"
    "needs neither the pictures' bytes nor a layout is found: missing-alt,\n"
    "missing-size. Without --json the issue names of each picture, comma-separated,\n"
    "are a fourth field (empty for a candidate that belongs to another picture's\n"
    "line).\n"
    "\n"
    "--json prints a JSON object a picture, one a line (JSON Lines), with the\n"
    "fields of Page Info's JSON export: address, kinds, type, natural and displayed\n"
    "(width and height), bytes, alt, uses, element, variants (the candidates of the\n"
    "same img), failed, status, problem, source, state (name, text, transferred,\n"
    "fromCache, failure) and, audited, issues (name, words, savings).\n"
    "\n"
    "In the printed values, tab, CR, LF, NUL and backslash are written as \\t, \\r,\n"
    "\\n, \\0 and \\\\, so that every entry is exactly one line of three fields\n"
    "(four with --audit).\n"
    "\n"
    "Exit status: 0 when the list was printed; 1 when the page could not be loaded\n"
    "(\"404 Not Found\", a server that cannot be reached), did not finish loading\n"
    "within --timeout, or the web engine could not list the pictures (or gave no\n"
    "answer within 60 s plus 10 s a megabyte of FILE) or the list could not be\n"
    "written, one line on standard error says why; 2 for a usage error or a FILE\n"
    "that cannot be read; 3 when an issue named by --fail-on was found (after\n"
    "printing everything).";

// A last resort only, as every step below is answered by the engine on its own:
// the engine gets this long, plus kPatiencePerMegabyteMs for each MB of the
// page (the collector takes some 3 s a MB of dense markup on a slow machine).
constexpr qint64 kPatienceMs = 60000;
constexpr qint64 kPatiencePerMegabyteMs = 10000;

QString programName;

void say(const QString &message)
{
    std::fprintf(stderr, "%s: %s\n", programName.toLocal8Bit().constData(),
                 message.toLocal8Bit().constData());
}

// The engine and Qt talk on standard error about graphics, the sandbox and the
// runtime folder; a tool's standard error is for its own one-line messages.
void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg)
        std::fprintf(stderr, "%s: %s\n", programName.toLocal8Bit().constData(),
                     message.toLocal8Bit().constData());
}

// Prints the collector's list (its fields escaped already, one line a
// picture) as "picture<TAB>address<TAB>kinds" lines, a block at a time.
bool printPictures(const QString &lines)
{
    QByteArray out;
    bool written = true;
    qsizetype at = 0;
    while (at < lines.size() && written) {
        qsizetype end = lines.indexOf(QLatin1Char('\n'), at);
        end = end < 0 ? lines.size() : end + 1;
        out += "picture\t";
        out += QStringView(lines).sliced(at, end - at).toUtf8();
        at = end;
        if (out.size() >= 1024 * 1024 || at >= lines.size()) {
            written =
                std::fwrite(out.constData(), 1, size_t(out.size()), stdout) == size_t(out.size());
            out.clear();
        }
    }
    return std::fflush(stdout) == 0 && written && !std::ferror(stdout);
}

// The page's text, decoded as a byte order mark or its own markup says, else as
// UTF-8; `encoding` is set to the name of the character set it was read in.
QString pageText(const QByteArray &bytes, QByteArray &encoding)
{
    QStringDecoder decoder = QStringDecoder::decoderForHtml(bytes);
    if (!decoder.isValid())
        decoder = QStringDecoder(QStringDecoder::Utf8);
    encoding = decoder.name();
    return decoder(bytes);
}

// The audit's issue names in LIST, comma-separated; false and `unknown` set
// for a name that is none.
bool issueKinds(const QString &list, QSet<PictureAudit::Kind> &kinds, QString &unknown)
{
    const QStringList names = list.split(QLatin1Char(','));
    for (const QString &name : names) {
        bool ok = false;
        const PictureAudit::Kind kind = PictureAudit::named(name.trimmed(), &ok);
        if (!ok) {
            unknown = name.trimmed();
            return false;
        }
        kinds.insert(kind);
    }
    return true;
}

bool isAddress(const QString &input)
{
    return input.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
           input.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

// A saved page's inventory as its markup alone tells it: nothing it names was
// fetched, so no picture loaded, failed or has a size, and with no window
// there is no first screen.
Inventory unloaded(Inventory inventory)
{
    inventory.firstScreen = QSize();
    for (InventoryEntry &e : inventory.pictures) {
        e.naturalSize = QSize();
        e.displayedSize = QSize();
        e.failed = false;
        if (!e.address.startsWith(QLatin1String("data:"), Qt::CaseInsensitive))
            e.bytes = -1;
        PictureLoad &load = e.load;
        load.loaded = false;
        load.waiting = false;
        load.lazyInFirstScreen = false;
        load.eagerOffScreen = false;
        load.timed = false;
        load.transferred = -1;
        load.encoded = -1;
    }
    return inventory;
}

// "missing-alt (2 pictures), broken (1 picture)" of the kinds asked for.
QString foundWords(const QHash<PictureAudit::Kind, int> &found,
                   const QSet<PictureAudit::Kind> &asked)
{
    QStringList parts;
    for (const QString &name : PictureAudit::names()) {
        bool ok = false;
        const PictureAudit::Kind kind = PictureAudit::named(name, &ok);
        const int count = found.value(kind);
        if (ok && asked.contains(kind) && count > 0)
            parts.append(QStringLiteral("%1 (%2)").arg(
                name, count == 1 ? QStringLiteral("1 picture")
                                 : QStringLiteral("%1 pictures").arg(count)));
    }
    return parts.join(QStringLiteral(", "));
}

} // namespace

int main(int argc, char **argv)
{
    programName = argc > 0 && argv[0] && *argv[0]
                      ? QFileInfo(QString::fromLocal8Bit(argv[0])).fileName()
                      : QStringLiteral("quarrow-inventory");
    qInstallMessageHandler(quietMessages);
    // A command-line tool: no display needed, and as root the engine only
    // starts with its sandbox off.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // Standard error carries the tool's own messages: the engine's processes log
    // there only what ends them.
    QByteArray engineFlags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!engineFlags.contains("--log-level"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", engineFlags.append(" --log-level=3").trimmed());
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // A live page is shown in a window (nobody sees it): a page nobody shows
    // is neither laid out nor scrolled.
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(programName);
    QCoreApplication::setApplicationVersion(QStringLiteral(QUARROW_VERSION));

    const QString options = QStringLiteral("[--url PAGE_URL] [--no-script] [--json] [--audit] "
                                           "[--fail-on LIST] [--scroll] [--timeout SECONDS] "
                                           "FILE|ADDRESS");
    const QString usage = programName == QLatin1String("quarrow-inventory")
                              ? QStringLiteral("usage: quarrow-inventory ") + options
                              : QStringLiteral("usage: %1 --inventory ").arg(programName) + options;
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption urlOption(QStringLiteral("url"),
                                       QStringLiteral("The page's address (FILE only)."),
                                       QStringLiteral("PAGE_URL"));
    parser.addOption(urlOption);
    const QCommandLineOption noScriptOption(
        QStringLiteral("no-script"),
        QStringLiteral("Read the page as a browser without scripts does, <noscript> included."));
    parser.addOption(noScriptOption);
    const QCommandLineOption jsonOption(
        QStringLiteral("json"), QStringLiteral("Print a JSON object a picture, one a line."));
    parser.addOption(jsonOption);
    const QCommandLineOption auditOption(QStringLiteral("audit"),
                                         QStringLiteral("Tell what is wrong with each picture."));
    parser.addOption(auditOption);
    const QCommandLineOption failOnOption(
        QStringLiteral("fail-on"),
        QStringLiteral("Exit with 3 when an issue named in LIST (comma-separated) is found; "
                       "implies --audit."),
        QStringLiteral("LIST"));
    parser.addOption(failOnOption);
    const QCommandLineOption scrollOption(
        QStringLiteral("scroll"),
        QStringLiteral("Scroll the page (ADDRESS only) to its end first, to load its lazy "
                       "pictures."));
    parser.addOption(scrollOption);
    const QCommandLineOption timeoutOption(
        QStringLiteral("timeout"),
        QStringLiteral("The longest wait for ADDRESS to load, and again for its pictures' bytes "
                       "and estimates (default 60); for a FILE, for the list."),
        QStringLiteral("SECONDS"));
    parser.addOption(timeoutOption);
    parser.addPositionalArgument(QStringLiteral("FILE|ADDRESS"),
                                 QStringLiteral("The saved page, or an http or https address."));
    if (!parser.parse(app.arguments())) {
        say(parser.errorText() + QStringLiteral("; ") + usage);
        return 2;
    }
    if (parser.isSet(helpOption))
        parser.showHelp(0);
    if (parser.isSet(versionOption))
        parser.showVersion();

    const QStringList inputs = parser.positionalArguments();
    if (inputs.size() != 1) {
        say((inputs.isEmpty() ? QStringLiteral("no FILE given; ")
                              : QStringLiteral("more than one FILE; ")) +
            usage);
        return 2;
    }
    QSet<PictureAudit::Kind> failOn;
    if (parser.isSet(failOnOption)) {
        QString unknown;
        if (!issueKinds(parser.value(failOnOption), failOn, unknown)) {
            say(QStringLiteral("unknown issue \"%1\" in --fail-on; the issues are %2")
                    .arg(unknown, PictureAudit::names().join(QStringLiteral(", "))));
            return 2;
        }
    }
    qint64 timeoutMs = -1;
    if (parser.isSet(timeoutOption)) {
        bool ok = false;
        const double seconds = parser.value(timeoutOption).toDouble(&ok);
        if (!ok || !(seconds > 0) || seconds > 24 * 3600) {
            say(QStringLiteral("not a number of seconds: %1; %2")
                    .arg(parser.value(timeoutOption), usage));
            return 2;
        }
        timeoutMs = qint64(seconds * 1000);
    }
    const QString input = inputs.first();
    const bool live = isAddress(input) && !QFileInfo(input).isFile();
    const bool json = parser.isSet(jsonOption);
    const bool audit = parser.isSet(auditOption) || parser.isSet(failOnOption);
    const bool scripts = !parser.isSet(noScriptOption);

    MediaModel media;
    bool finished = false;
    auto finish = [&](int status, const QString &message) {
        if (finished)
            return;
        finished = true;
        if (!message.isEmpty())
            say(message);
        app.exit(status);
    };
    // Prints the model's pictures; 3 when some issue of --fail-on is there.
    auto print = [&](bool nothingLoaded) {
        InventoryPrinter printer(media, {json, audit, nothingLoaded});
        if (!printer.write(stdout)) {
            finish(1, QStringLiteral("cannot write the list to standard output"));
            return;
        }
        const QString found = foundWords(printer.found(), failOn);
        finish(found.isEmpty() ? 0 : 3,
               found.isEmpty() ? QString() : QStringLiteral("found ") + found);
    };

    if (live) {
        if (parser.isSet(urlOption)) {
            say(QStringLiteral("--url is for a FILE, not an address; ") + usage);
            return 2;
        }
        const QUrl address(input, QUrl::StrictMode);
        if (!address.isValid() || address.host().isEmpty()) {
            say(QStringLiteral("not an address: %1; %2").arg(input, usage));
            return 2;
        }
        LiveInventory::Options liveOptions;
        liveOptions.scripts = scripts;
        liveOptions.scroll = parser.isSet(scrollOption);
        liveOptions.audit = audit;
        liveOptions.statuses = json;
        if (timeoutMs > 0)
            liveOptions.loadTimeoutMs = int(timeoutMs);
        // The page goes before its profile: LiveInventory takes its page along.
        QWebEngineProfile profile; // off the record: nothing on disk, nothing shared
        auto run = std::make_unique<LiveInventory>(&profile, &media, liveOptions);
        QObject::connect(run.get(), &LiveInventory::note, &app,
                         [](const QString &line) { say(line); });
        QObject::connect(run.get(), &LiveInventory::failed, &app, [&](const QString &why) {
            finish(1, QStringLiteral("cannot load %1: %2").arg(input, why));
        });
        QObject::connect(run.get(), &LiveInventory::finished, &app, [&] { print(false); });
        run->start(address);
        const int status = app.exec();
        run.reset();
        return status;
    }

    if (parser.isSet(scrollOption)) {
        say(QStringLiteral("--scroll is for an address, not a FILE; ") + usage);
        return 2;
    }
    // A FIFO, a device or a file of the kernel's is refused without waiting on
    // it, and a read that fails is told, not taken for an empty page.
    QByteArray bytes = ReadRegularFile(input, std::numeric_limits<qsizetype>::max() / 2, nullptr);
    if (bytes.isNull()) {
        say(QStringLiteral("cannot read %1").arg(input));
        return 2;
    }
    const qint64 pageBytes = bytes.size();
    const QUrl pageUrl = parser.isSet(urlOption)
                             ? QUrl(parser.value(urlOption))
                             : QUrl::fromLocalFile(QFileInfo(input).absoluteFilePath());
    if (!pageUrl.isValid() || pageUrl.isRelative()) {
        say(QStringLiteral("not an address: %1; %2").arg(parser.value(urlOption), usage));
        return 2;
    }
    QByteArray encoding;
    // The file's bytes go as soon as they are read as text; the page lets its
    // text go once its last piece is in the engine.
    QString text = pageText(bytes, encoding);
    bytes = QByteArray();

    // The page goes before its profile, and the profile before the interceptor
    // it asks: a request still under way as they go finds it there.
    FetchNothing interceptor;
    QWebEngineProfile profile; // off the record: nothing on disk, nothing shared
    profile.setUrlRequestInterceptor(&interceptor);
    auto page = std::make_unique<SavedPage>(&profile, scripts);

    // The list is taken as soon as the parser has read the page. Nothing waits
    // for the page's load to end: that waits for its objects, which start only
    // once the engine lays the page out, and a page nobody shows is laid out only
    // when something asks.
    QObject::connect(page.get(), &SavedPage::parsed, &app, [&] {
        if (json || audit) {
            PageInventory::collect(page.get(), [&](const Inventory &inventory) {
                if (!inventory.valid) {
                    finish(1, QStringLiteral("cannot list the pictures of %1: %2")
                                  .arg(input, inventory.error));
                    return;
                }
                media.setInventory(unloaded(inventory));
                media.fillSome(QDeadlineTimer(QDeadlineTimer::Forever));
                print(true);
            });
            return;
        }
        PageInventory::collectList(page.get(), [&](const QString &lines, const QString &error) {
            if (!error.isEmpty())
                finish(1, QStringLiteral("cannot list the pictures of %1: %2").arg(input, error));
            else if (!printPictures(lines))
                finish(1, QStringLiteral("cannot write the list to standard output"));
            else
                finish(0, QString());
        });
    });
    QObject::connect(page.get(), &SavedPage::refusedAddress, &app, [&] {
        finish(2, QStringLiteral("not an address: %1; %2")
                      .arg(parser.isSet(urlOption) ? parser.value(urlOption) : pageUrl.toString(),
                           usage));
    });
    QObject::connect(page.get(), &SavedPage::failed, &app, [&](const QString &why) {
        finish(1, QStringLiteral("cannot load %1: %2").arg(input, why));
    });
    QObject::connect(page.get(), &QWebEnginePage::renderProcessTerminated, &app, [&] {
        finish(1, QStringLiteral("cannot load %1: the engine's page process ended").arg(input));
    });
    const qint64 patienceMs =
        timeoutMs > 0 ? timeoutMs
                      : kPatienceMs + pageBytes * kPatiencePerMegabyteMs / (1024 * 1024);
    QTimer patience;
    patience.setSingleShot(true);
    QObject::connect(&patience, &QTimer::timeout, &app, [&] {
        finish(1, QStringLiteral("cannot list the pictures of %1: no answer from the web engine "
                                 "within %2 s")
                      .arg(input)
                      .arg(patienceMs / 1000.0));
    });
    patience.start(std::chrono::milliseconds(patienceMs));

    page->open(text, encoding, pageUrl);
    text = QString();
    const int status = app.exec();
    page.reset();
    return status;
}
