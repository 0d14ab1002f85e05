// quarrow-inventory: the page inventory on the command line. See kDescription below.

#include "platform/FetchNothing.h"
#include "platform/PageInventory.h"
#include "platform/SavedPage.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStringConverter>
#include <QTimer>
#include <QUrl>
#include <QWebEngineProfile>

#include <chrono>
#include <cstdio>
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
    "In the printed values, tab, CR, LF, NUL and backslash are written as \\t, \\r,\n"
    "\\n, \\0 and \\\\, so that every entry is exactly one line of three fields.\n"
    "\n"
    "Exit status: 0 when the list was printed; 1 when the web engine could not list\n"
    "the pictures (or gave no answer within 60 s plus 10 s a megabyte of FILE) or the\n"
    "list could not be written, one line on standard error says why; 2 for a usage\n"
    "error or a FILE that cannot be read.";

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

} // namespace

int main(int argc, char **argv)
{
    programName = argc > 0 && argv[0] && *argv[0]
                      ? QFileInfo(QString::fromLocal8Bit(argv[0])).fileName()
                      : QStringLiteral("quarrow-inventory");
    qInstallMessageHandler(quietMessages);
    // A command-line tool: no display needed, and as root the engine only
    // starts with its sandbox off (it loads nothing from the network here).
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
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(programName);
    QCoreApplication::setApplicationVersion(QStringLiteral(QUARROW_VERSION));

    const QString usage =
        programName == QLatin1String("quarrow-inventory")
            ? QStringLiteral("usage: quarrow-inventory [--url PAGE_URL] [--no-script] FILE")
            : QStringLiteral("usage: %1 --inventory [--url PAGE_URL] [--no-script] FILE")
                  .arg(programName);
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption urlOption(QStringLiteral("url"), QStringLiteral("The page's address."),
                                       QStringLiteral("PAGE_URL"));
    parser.addOption(urlOption);
    const QCommandLineOption noScriptOption(
        QStringLiteral("no-script"),
        QStringLiteral("Read the page as a browser without scripts does, <noscript> included."));
    parser.addOption(noScriptOption);
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The saved page."));
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
    const QString input = inputs.first();
    QFile file(input);
    if (!QFileInfo(input).isFile() || !file.open(QIODevice::ReadOnly)) {
        say(QStringLiteral("cannot read %1").arg(input));
        return 2;
    }
    QByteArray bytes = file.readAll();
    file.close();
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
    auto page = std::make_unique<SavedPage>(&profile, !parser.isSet(noScriptOption));

    bool finished = false;
    auto finish = [&](int status, const QString &message) {
        if (finished)
            return;
        finished = true;
        if (!message.isEmpty())
            say(message);
        app.exit(status);
    };
    // The list is taken as soon as the parser has read the page. Nothing waits
    // for the page's load to end: that waits for its objects, which start only
    // once the engine lays the page out, and a page nobody shows is laid out only
    // when something asks.
    QObject::connect(page.get(), &SavedPage::parsed, &app, [&] {
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
    const qint64 patienceMs = kPatienceMs + pageBytes * kPatiencePerMegabyteMs / (1024 * 1024);
    QTimer patience;
    patience.setSingleShot(true);
    QObject::connect(&patience, &QTimer::timeout, &app, [&] {
        finish(1, QStringLiteral("cannot list the pictures of %1: no answer from the web engine "
                                 "within %2 s")
                      .arg(input)
                      .arg(patienceMs / 1000));
    });
    patience.start(std::chrono::milliseconds(patienceMs));

    page->open(text, encoding, pageUrl);
    text = QString();
    const int status = app.exec();
    page.reset();
    return status;
}
