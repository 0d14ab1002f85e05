// quarrow-harvest [--url PAGE_URL] [--out DIR] FILE
//
// Runs the page harvest on FILE (UTF-8 page text) with PAGE_URL as the page's
// address (default: FILE's own file URL), writes the six working files into DIR
// (default: the current folder) and prints the result lists, one entry a line:
// "link<TAB>address<TAB>key" for the links to images, then "image<TAB>address<TAB>key".
// A missing or unreadable FILE or DIR: one line on standard error, exit status 2,
// and no file touched.

#include "harvest/Harvest.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryFile>
#include <QUrl>

#include <cstdio>

namespace {

const char kUsage[] = "usage: quarrow-harvest [--url PAGE_URL] [--out DIR] FILE";

int fail(const QString &message)
{
    std::fprintf(stderr, "quarrow-harvest: %s\n", message.toLocal8Bit().constData());
    return 2;
}

void printLists(const ResultLists &lists)
{
    QByteArray out;
    const struct {
        int k;
        const char *tag;
    } kinds[] = {{0, "link"}, {1, "image"}};
    for (const auto &kind : kinds) {
        const QStringList &addresses = lists.Links[kind.k];
        const QStringList &keys = lists.frmList[kind.k];
        for (qsizetype i = 0; i < addresses.size(); ++i) {
            out += kind.tag;
            out += '\t';
            out += addresses.at(i).toUtf8();
            out += '\t';
            out += (i < keys.size() ? keys.at(i) : QString()).toUtf8();
            out += '\n';
        }
    }
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);

    QString url;
    bool haveUrl = false;
    QString out = QDir::currentPath();
    QString input;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (arg == QLatin1StringView("--url") || arg == QLatin1StringView("--out")) {
            if (i + 1 >= args.size())
                return fail(QStringLiteral("%1 needs a value; %2").arg(arg, QLatin1String(kUsage)));
            if (arg == QLatin1StringView("--url")) {
                url = args.at(++i);
                haveUrl = true;
            } else {
                out = args.at(++i);
            }
        } else if (arg == QLatin1StringView("-h") || arg == QLatin1StringView("--help")) {
            std::printf("%s\n", kUsage);
            return 0;
        } else if (arg.startsWith(u'-') && arg.size() > 1) {
            return fail(QStringLiteral("unknown option %1; %2").arg(arg, QLatin1String(kUsage)));
        } else if (input.isEmpty()) {
            input = arg;
        } else {
            return fail(QStringLiteral("more than one FILE; %1").arg(QLatin1String(kUsage)));
        }
    }
    if (input.isEmpty())
        return fail(QStringLiteral("no FILE given; %1").arg(QLatin1String(kUsage)));

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
    if (!haveUrl)
        url = QUrl::fromLocalFile(QFileInfo(input).absoluteFilePath()).toString();

    const WorkingFiles files(outInfo.absoluteFilePath());
    ResultLists lists;
    RunHarvest(
        pageText, [&url] { return url; }, files, lists);
    printLists(lists);
    return 0;
}
