// quarrow-inventory: the page inventory on the command line. See kDescription below.

#include "platform/PageInventory.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStringConverter>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>

#include <cstdio>
#include <unistd.h>

namespace {

const char kDescription[] =
    "Loads FILE (a saved page) with PAGE_URL as its address (default: FILE's own\n"
    "file URL), with its scripts off and without fetching anything it names, and\n"
    "prints every picture it uses, one a line, in document order of first use:\n"
    "\"picture<TAB>address<TAB>kinds\", the kinds comma-separated among img, srcset,\n"
    "source, lazy, css, icon, meta, poster, input, svg, object, link.\n"
    "\n"
    "In the printed values, tab, CR, LF, NUL and backslash are written as \\t, \\r,\n"
    "\\n, \\0 and \\\\, so that every entry is exactly one line of three fields.\n"
    "\n"
    "Exit status: 0 when the list was printed; 1 when the page could not be loaded\n"
    "or the list could not be written; 2 for a usage error or a FILE that cannot be\n"
    "read.";

// The engine takes a page given in memory as a data: address of at most 2 MB,
// once encoded; bigger pages are written into an empty document instead.
constexpr qsizetype kInMemoryLimit = 1024 * 1024;
constexpr int kLoadPatienceMs = 60000;

QString programName;

void say(const QString &message)
{
    std::fprintf(stderr, "%s: %s\n", programName.toLocal8Bit().constData(),
                 message.toLocal8Bit().constData());
}

// A value written so that it can hold no field or line break of its own.
void appendField(QByteArray &out, const QString &value)
{
    const QByteArray bytes = value.toUtf8();
    for (const char c : bytes) {
        switch (c) {
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\0':
            out += "\\0";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            out += c;
        }
    }
}

bool printPictures(const Inventory &inventory)
{
    QByteArray out;
    for (const InventoryEntry &entry : inventory.pictures) {
        out += "picture\t";
        appendField(out, entry.address);
        out += '\t';
        appendField(out, entry.kinds.join(QLatin1Char(',')));
        out += '\n';
    }
    const bool written =
        std::fwrite(out.constData(), 1, size_t(out.size()), stdout) == size_t(out.size());
    return std::fflush(stdout) == 0 && written && !std::ferror(stdout);
}

// Nothing leaves the process but the page's own text: no picture, style sheet,
// frame or script is fetched.
class OnlyThePage : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo &info) override
    {
        const bool first =
            !m_pageSeen && info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeMainFrame;
        if (first)
            m_pageSeen = true;
        info.block(!first);
    }

private:
    bool m_pageSeen = false;
};

// Stays on the document it was given: a refresh or a link does not take it away.
class SavedPage : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;
    bool acceptNavigationRequest(const QUrl &, NavigationType, bool isMainFrame) override
    {
        if (!isMainFrame)
            return false;
        if (m_navigated)
            return false;
        m_navigated = true;
        return true;
    }

private:
    bool m_navigated = false;
};

} // namespace

int main(int argc, char **argv)
{
    programName = argc > 0 && argv[0] && *argv[0]
                      ? QFileInfo(QString::fromLocal8Bit(argv[0])).fileName()
                      : QStringLiteral("quarrow-inventory");
    // A command-line tool: no display needed, and as root the engine only
    // starts with its sandbox off (it loads no remote content here).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(programName);
    QCoreApplication::setApplicationVersion(QStringLiteral(QUARROW_VERSION));

    const QString usage =
        programName == QLatin1String("quarrow-inventory")
            ? QStringLiteral("usage: quarrow-inventory [--url PAGE_URL] FILE")
            : QStringLiteral("usage: %1 --inventory [--url PAGE_URL] FILE").arg(programName);
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption urlOption(QStringLiteral("url"), QStringLiteral("The page's address."),
                                       QStringLiteral("PAGE_URL"));
    parser.addOption(urlOption);
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
    const QByteArray bytes = file.readAll();
    file.close();
    const QUrl pageUrl = parser.isSet(urlOption)
                             ? QUrl(parser.value(urlOption))
                             : QUrl::fromLocalFile(QFileInfo(input).absoluteFilePath());
    if (!pageUrl.isValid() || pageUrl.isRelative()) {
        say(QStringLiteral("not an address: %1; %2").arg(parser.value(urlOption), usage));
        return 2;
    }

    int status = 1;
    {
        QWebEngineProfile profile; // off the record
        OnlyThePage interceptor;
        profile.setUrlRequestInterceptor(&interceptor);
        auto *page = new SavedPage(&profile);
        QWebEngineSettings *settings = page->settings();
        settings->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
        settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
        settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
        // The engine fetches the page's icon by itself, past the interceptor.
        settings->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
        settings->setAttribute(QWebEngineSettings::TouchIconsEnabled, false);

        const bool inMemory = bytes.size() <= kInMemoryLimit;
        QTimer patience;
        patience.setSingleShot(true);
        QObject::connect(&patience, &QTimer::timeout, &app, [&] {
            say(QStringLiteral("cannot load %1").arg(input));
            app.exit(1);
        });
        auto collect = [&] {
            PageInventory::collect(page, [&](const Inventory &inventory) {
                if (!inventory.valid) {
                    say(QStringLiteral("cannot list the pictures of %1: %2")
                            .arg(input, inventory.error));
                    app.exit(1);
                    return;
                }
                if (!printPictures(inventory)) {
                    say(QStringLiteral("cannot write the list to standard output"));
                    app.exit(1);
                    return;
                }
                app.exit(0);
            });
        };
        QObject::connect(page, &QWebEnginePage::loadFinished, &app, [&](bool ok) {
            if (!ok) {
                say(QStringLiteral("cannot load %1").arg(input));
                app.exit(1);
                return;
            }
            if (inMemory) {
                collect();
                return;
            }
            // The page's text, decoded as its own markup says, written into the
            // empty document from the collector's world.
            auto decoder = QStringDecoder::decoderForHtml(bytes);
            const QString text =
                decoder.isValid() ? QString(decoder(bytes)) : QString::fromUtf8(bytes);
            const QByteArray quoted =
                QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
            const QString script =
                QStringLiteral("document.open();document.write(%1[0]);document.close();true")
                    .arg(QString::fromUtf8(quoted));
            page->runJavaScript(script, PageInventory::worldId,
                                [&](const QVariant &) { collect(); });
        });
        patience.start(kLoadPatienceMs);
        if (inMemory)
            page->setContent(bytes, QStringLiteral("text/html"), pageUrl);
        else
            page->setHtml(QString(), pageUrl);
        status = app.exec();
        delete page; // before its profile
    }
    return status;
}
