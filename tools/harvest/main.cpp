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

#include <cstdio>

namespace {

const char kDescription[] =
    "Runs Quarrow's page harvest on FILE (UTF-8 page text) with PAGE_URL as the\n"
    "page's address (default: FILE's own file URL), writes the six working files\n"
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

const char kUsage[] = "usage: quarrow-harvest [--url PAGE_URL] [--out DIR] FILE";

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

} // namespace

int main(int argc, char **argv)
{
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
    parser.addOption(urlOption);
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

    const QString pageText = QString::fromUtf8(file.readAll());
    file.close();
    const QString url = parser.isSet(urlOption)
                            ? parser.value(urlOption)
                            : QUrl::fromLocalFile(QFileInfo(input).absoluteFilePath()).toString();

    const WorkingFiles files(outInfo.absoluteFilePath());
    ResultLists lists;
    const HarvestReport report = RunHarvest(pageText, url, files, lists);
    for (const QString &notice : report.notices)
        say(notice);
    const bool printed = printLists(lists);
    if (!report.failure.isEmpty())
        say(QStringLiteral("cannot write %1").arg(report.failure));
    else if (!printed)
        say(QStringLiteral("cannot write the lists to standard output"));
    return report.failure.isEmpty() && printed ? 0 : 1;
}
