// quarrow-inventory over pages shaped like real ones: the article pages of
// tests/data/pages (each listed exactly as NAME.expected says), the html5lib
// parser test documents and the fuzz corpus inputs (each read without failing).

#include "tests/support/Eventually.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// Tools at once: the engine's processes of each share the machine's cores.
constexpr int kAtOnce = 3;
// Longer than the tool's own patience (60 s and 10 s a MB).
constexpr int kToolWaitMs = 120000;

struct ToolRun {
    QString label;
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// Runs quarrow-inventory with each list of arguments, kAtOnce at a time.
std::vector<ToolRun> runAll(const QList<QPair<QString, QStringList>> &jobs)
{
    std::vector<ToolRun> results(size_t(jobs.size()));
    std::vector<std::unique_ptr<QProcess>> running(size_t(jobs.size()));
    qsizetype next = 0;
    qsizetype done = 0;
    auto collect = [&] {
        for (qsizetype i = 0; i < jobs.size(); ++i) {
            QProcess *process = running[size_t(i)].get();
            if (!process || process->state() != QProcess::NotRunning)
                continue;
            ToolRun &result = results[size_t(i)];
            result.label = jobs.at(i).first;
            result.status =
                process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
            result.out = process->readAllStandardOutput();
            result.err = process->readAllStandardError();
            running[size_t(i)].reset();
            ++done;
        }
    };
    auto busy = [&] {
        int count = 0;
        for (const auto &process : running)
            count += process ? 1 : 0;
        return count;
    };
    while (done < jobs.size()) {
        while (next < jobs.size() && busy() < kAtOnce) {
            auto process = std::make_unique<QProcess>();
            process->start(QStringLiteral(QUARROW_INVENTORY_TOOL), jobs.at(next).second);
            running[size_t(next)] = std::move(process);
            ++next;
        }
        const qsizetype before = done;
        QUARROW_WAIT_UNTIL((collect(), done > before), kToolWaitMs);
        if (done == before) {
            ADD_FAILURE() << "a tool gave no answer within " << kToolWaitMs << " ms";
            return results;
        }
    }
    return results;
}

QString unescaped(QStringView field)
{
    QString out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field.at(i) != QLatin1Char('\\') || i + 1 == field.size()) {
            out += field.at(i);
            continue;
        }
        const QChar c = field.at(++i);
        out += c == QLatin1Char('t')   ? QChar(u'\t')
               : c == QLatin1Char('r') ? QChar(u'\r')
               : c == QLatin1Char('n') ? QChar(u'\n')
               : c == QLatin1Char('0') ? QChar(u'\0')
                                       : c;
    }
    return out;
}

// The addresses of the tool's list, each once; a line that is no entry, or an
// address listed twice, is a failure.
QSet<QString> listed(const ToolRun &run)
{
    QSet<QString> out;
    const QString text = QString::fromUtf8(run.out);
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(QLatin1Char('\t'));
        EXPECT_EQ(fields.size(), 3) << run.label.toStdString() << ": " << line.toStdString();
        if (fields.size() != 3 || fields.at(0) != QLatin1String("picture"))
            continue;
        const QString address = unescaped(fields.at(1));
        EXPECT_FALSE(out.contains(address))
            << run.label.toStdString() << ": listed twice: " << address.toStdString();
        out.insert(address);
    }
    return out;
}

// A page of tests/data/pages and what its NAME.expected says.
struct Page {
    QString name;
    QString path;
    QString url;
    QSet<QString> pictures; // used with scripts on and off
    QSet<QString> noscript; // used only without scripts
    QSet<QString> script;   // used only with scripts
};

QList<Page> pages()
{
    QList<Page> out;
    const QDir dir(testsupport::dataFolder() + QStringLiteral("/pages"));
    for (const QString &file :
         dir.entryList({QStringLiteral("*.expected")}, QDir::Files, QDir::Name)) {
        Page page;
        page.name = file.chopped(9);
        page.path = dir.filePath(page.name + QStringLiteral(".html"));
        const QString text = QString::fromUtf8(testsupport::readFile(dir.filePath(file)));
        for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            if (line.startsWith(QLatin1Char('#')))
                continue;
            const qsizetype space = line.indexOf(QLatin1Char(' '));
            const QString key = line.left(space);
            const QString value = line.mid(space + 1);
            if (key == QLatin1String("url"))
                page.url = value;
            else if (key == QLatin1String("picture"))
                page.pictures.insert(value);
            else if (key == QLatin1String("noscript"))
                page.noscript.insert(value);
            else if (key == QLatin1String("script"))
                page.script.insert(value);
            else
                ADD_FAILURE() << file.toStdString() << ": " << line.toStdString();
        }
        out.append(page);
    }
    return out;
}

std::string differences(const QSet<QString> &got, const QSet<QString> &expected)
{
    QStringList missing = QSet<QString>(expected).subtract(got).values();
    QStringList extra = QSet<QString>(got).subtract(expected).values();
    missing.sort();
    extra.sort();
    return ("missing: " + missing.join(QLatin1Char(' ')) +
            "\nnot expected: " + extra.join(QLatin1Char(' ')))
        .toStdString();
}

TEST(InventoryCorpus, ListsWhatABrowserRunningScriptsUsesOnEveryPage)
{
    const QList<Page> all = pages();
    ASSERT_GE(all.size(), 20);
    QList<QPair<QString, QStringList>> jobs;
    for (const Page &page : all)
        jobs.append({page.name, {QStringLiteral("--url"), page.url, page.path}});
    const std::vector<ToolRun> runs = runAll(jobs);
    for (qsizetype i = 0; i < all.size(); ++i) {
        const Page &page = all.at(i);
        const ToolRun &run = runs[size_t(i)];
        SCOPED_TRACE(page.name.toStdString());
        ASSERT_EQ(run.status, 0) << run.err.constData();
        EXPECT_EQ(run.err, QByteArray());
        const QSet<QString> expected = QSet<QString>(page.pictures).unite(page.script);
        const QSet<QString> got = listed(run);
        EXPECT_EQ(got, expected) << differences(got, expected);
    }
}

// Without scripts the engine reads <noscript> as markup: its fallbacks and
// tracking pixels are listed too, as crawlers without scripts see them.
TEST(InventoryCorpus, ListsWhatABrowserWithoutScriptsUsesOnPagesWithNoscript)
{
    QList<Page> chosen;
    for (const Page &page : pages()) {
        if (!page.noscript.isEmpty() || !page.script.isEmpty())
            chosen.append(page);
    }
    ASSERT_GE(chosen.size(), 2);
    QList<QPair<QString, QStringList>> jobs;
    for (const Page &page : chosen)
        jobs.append(
            {page.name,
             {QStringLiteral("--url"), page.url, QStringLiteral("--no-script"), page.path}});
    const std::vector<ToolRun> runs = runAll(jobs);
    for (qsizetype i = 0; i < chosen.size(); ++i) {
        const Page &page = chosen.at(i);
        const ToolRun &run = runs[size_t(i)];
        SCOPED_TRACE(page.name.toStdString());
        ASSERT_EQ(run.status, 0) << run.err.constData();
        const QSet<QString> expected = QSet<QString>(page.pictures).unite(page.noscript);
        const QSet<QString> got = listed(run);
        EXPECT_EQ(got, expected) << differences(got, expected);
    }
}

// Each job's page is read. An address the engine cannot read is refused as a
// usage error; the page is then read at another.
void expectEveryOneRead(QList<QPair<QString, QStringList>> jobs)
{
    const std::vector<ToolRun> runs = runAll(jobs);
    QList<QPair<QString, QStringList>> again;
    for (qsizetype i = 0; i < jobs.size(); ++i) {
        const ToolRun &run = runs[size_t(i)];
        if (run.status == 2 && run.err.startsWith("quarrow-inventory: not an address: ")) {
            QStringList arguments = jobs.at(i).second;
            arguments[arguments.indexOf(QStringLiteral("--url")) + 1] =
                QStringLiteral("https://example.org/f/page.html");
            again.append({jobs.at(i).first + QStringLiteral(" (at another address)"), arguments});
            continue;
        }
        EXPECT_EQ(run.status, 0) << run.label.toStdString() << ": " << run.err.constData();
        EXPECT_EQ(run.err, QByteArray()) << run.label.toStdString();
    }
    if (!again.isEmpty())
        expectEveryOneRead(again);
}

// The html5lib parser test documents (malformed on purpose), the documents of
// one file made one page, with and without scripts.
TEST(InventoryCorpus, ReadsEveryParserTestDocument)
{
    const QDir dir(testsupport::dataFolder() + QStringLiteral("/html5lib-tree-construction"));
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QList<QPair<QString, QStringList>> jobs;
    for (const QString &name : dir.entryList({QStringLiteral("*.dat")}, QDir::Files, QDir::Name)) {
        const QString all = QString::fromUtf8(testsupport::readFile(dir.filePath(name)));
        QString page;
        for (const QString &test : all.split(QStringLiteral("#data\n"), Qt::SkipEmptyParts)) {
            const qsizetype end = test.indexOf(QStringLiteral("\n#errors"));
            page += (end >= 0 ? test.left(end) : test) + QStringLiteral("\r\n");
        }
        const QString path = folder.filePath(name + QStringLiteral(".html"));
        ASSERT_TRUE(testsupport::writeFile(path, page.toUtf8()));
        const QStringList arguments = {QStringLiteral("--url"),
                                       QStringLiteral("https://example.org/t/page.html"), path};
        jobs.append({name, arguments});
        jobs.append({name + QStringLiteral(" --no-script"), QStringList(arguments)
                                                                << QStringLiteral("--no-script")});
    }
    ASSERT_GT(jobs.size(), 100);
    expectEveryOneRead(jobs);
}

// Every fuzz corpus input: its first line the page's address (a fixed one when
// that is none), the rest the page.
TEST(InventoryCorpus, ReadsEveryFuzzCorpusInput)
{
    const QDir dir(QStringLiteral(QUARROW_FUZZ_CORPUS_DIR));
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QList<QPair<QString, QStringList>> jobs;
    for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
        const QByteArray input = testsupport::readFile(dir.filePath(name));
        const qsizetype newline = input.indexOf('\n');
        const QUrl url(QString::fromUtf8(newline < 0 ? input : input.left(newline)),
                       QUrl::StrictMode);
        const QString path = folder.filePath(name + QStringLiteral(".html"));
        ASSERT_TRUE(
            testsupport::writeFile(path, newline < 0 ? QByteArray() : input.mid(newline + 1)));
        const bool usable =
            url.isValid() && !url.isRelative() &&
            (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https") ||
             url.scheme() == QLatin1String("file"));
        jobs.append(
            {name,
             {QStringLiteral("--url"),
              usable ? url.toString() : QStringLiteral("https://example.org/f/page.html"), path}});
    }
    ASSERT_GT(jobs.size(), 100);
    expectEveryOneRead(jobs);
}

} // namespace
