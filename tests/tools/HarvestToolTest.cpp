#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <sys/resource.h>

namespace {

struct ToolRun {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

ToolRun runTool(const QStringList &arguments, const QString &workingFolder = QString(),
                const std::function<void()> &inChild = {})
{
    QProcess process;
    if (!workingFolder.isEmpty())
        process.setWorkingDirectory(workingFolder);
    if (inChild)
        process.setChildProcessModifier(inChild);
    process.start(QStringLiteral(QUARROW_HARVEST_TOOL), arguments);
    ToolRun run;
    if (!process.waitForFinished(60000))
        return run;
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

const QByteArray kPage = "<p>日本</p><a href=\"big/cat.jpg\"><img src=\"small/cat.jpg\"></a>\r\n"
                         "<img src=\"/top.gif\"><img src=\"https://cdn.example.net/x.gif\">\r\n"
                         "<a href=\"javascript:go('a.gif')\">no</a>";

const char *const kWorkingFiles[] = {"browser.txt",     "source.htm",           "images.htm",
                                     "checkImages.txt", "checkImagesClean.txt", "imagepage.html"};

TEST(HarvestTool, PrintsTheListsAndWritesTheFiles)
{
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("page.html"));
    ASSERT_TRUE(testsupport::writeFile(input, kPage));
    QDir(dir.path()).mkdir(QStringLiteral("out"));
    const ToolRun run =
        runTool({QStringLiteral("--url"), QStringLiteral("https://www.example.com/dir/page.html"),
                 QStringLiteral("--out"), dir.filePath(QStringLiteral("out")), input});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    EXPECT_EQ(run.err, QByteArray());
    EXPECT_EQ(run.out, QByteArray("link\thttps://www.example.com/dir/big/cat.jpg\tcat.jpg\n"
                                  "image\thttps://www.example.com/dir/small/cat.jpg\tcat.jpg\n"
                                  "image\thttps://www.example.com/top.gif\ttop.gif\n"
                                  "image\thttps://cdn.example.net/x.gif\tx.gif\n"));
    for (const char *name : kWorkingFiles)
        EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("out/") + QLatin1String(name))))
            << name;
    const QByteArray source = testsupport::readFile(dir.filePath(QStringLiteral("out/source.htm")));
    EXPECT_TRUE(source.startsWith("\xEF\xBB\xBF&lt;p>日本&lt;/p>&lt;a href=\"big/<a "
                                  "href='https://www.example.com/dir/big/cat.jpg'>cat.jpg</a>"))
        << source.constData();
    EXPECT_TRUE(source.endsWith("&lt;a href=\"javascript:go('a.gif')\">no&lt;/a>\r\n"));
    EXPECT_EQ(testsupport::readFile(dir.filePath(QStringLiteral("out/checkImages.txt"))),
              QByteArray("\r\n"));
}

TEST(HarvestTool, ResolvesAgainstTheBaseAddressGiven)
{
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("page.html"));
    ASSERT_TRUE(testsupport::writeFile(
        input, "<img src=\"a.gif\"><!-- <img src=\"hidden.gif\"> --><a\r\n href=\"b.jpg\">b</a>"));
    const ToolRun run = runTool({QStringLiteral("--url"), QStringLiteral("http://h/d/p.html?q=a/b"),
                                 QStringLiteral("--base"), QStringLiteral("http://cdn.example/x/"),
                                 QStringLiteral("--out"), dir.path(), input});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    EXPECT_EQ(run.out, QByteArray("link\thttp://cdn.example/x/b.jpg\tb.jpg\n"
                                  "image\thttp://cdn.example/x/a.gif\ta.gif\n"));
    const ToolRun withoutBase =
        runTool({QStringLiteral("--url"), QStringLiteral("http://h/d/p.html?q=a/b"),
                 QStringLiteral("--out"), dir.path(), input});
    ASSERT_EQ(withoutBase.status, 0) << withoutBase.err.constData();
    EXPECT_EQ(withoutBase.out, QByteArray("link\thttp://h/d/b.jpg\tb.jpg\n"
                                          "image\thttp://h/d/a.gif\ta.gif\n"));
}

// A saved page resolves against its own <base href>, as the browser does, unless
// --base says otherwise.
TEST(HarvestTool, ResolvesAgainstThePagesOwnBase)
{
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("page.html"));
    ASSERT_TRUE(testsupport::writeFile(
        input, "<head><!-- <base href=\"http://wrong/\"> --><base target=_top>"
               "<base href=\"../cdn/\"><base href=\"http://second/\"></head>"
               "<img src=\"a.gif\"><a href=\"b.jpg\">b</a>"));
    const ToolRun own = runTool({QStringLiteral("--url"), QStringLiteral("http://h/d/e/p.html"),
                                 QStringLiteral("--out"), dir.path(), input});
    ASSERT_EQ(own.status, 0) << own.err.constData();
    EXPECT_EQ(own.out, QByteArray("link\thttp://h/d/cdn/b.jpg\tb.jpg\n"
                                  "image\thttp://h/d/cdn/a.gif\ta.gif\n"));
    const ToolRun given = runTool({QStringLiteral("--url"), QStringLiteral("http://h/d/e/p.html"),
                                   QStringLiteral("--base"), QStringLiteral("http://given/"),
                                   QStringLiteral("--out"), dir.path(), input});
    ASSERT_EQ(given.status, 0) << given.err.constData();
    EXPECT_EQ(given.out, QByteArray("link\thttp://given/b.jpg\tb.jpg\n"
                                    "image\thttp://given/a.gif\ta.gif\n"));
}

TEST(HarvestTool, ReadsBytesThatAreNotUtf8AsTheHarvestOfTheirText)
{
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("page.html"));
    // A Latin-1 "é" and a cut-off UTF-8 sequence read as QString::fromUtf8() reads
    // them: U+FFFD for the one, one U+FFFD a byte for the other.
    ASSERT_TRUE(testsupport::writeFile(input, "<img src=\"caf\xE9.gif\"> \xE6\x97"));
    const ToolRun run = runTool({QStringLiteral("--url"), QStringLiteral("http://h/p.html"),
                                 QStringLiteral("--out"), dir.path(), input});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    EXPECT_EQ(run.out, QByteArray("image\thttp://h/caf\xEF\xBF\xBD.gif\tcaf\xEF\xBF\xBD.gif\n"));
    const QByteArray source = testsupport::readFile(dir.filePath(QStringLiteral("source.htm")));
    EXPECT_TRUE(source.endsWith(".gif</a>\"> \xEF\xBF\xBD\xEF\xBF\xBD\r\n")) << source.constData();
}

TEST(HarvestTool, DefaultsToTheFileUrlAndTheCurrentFolder)
{
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("site/pics"));
    const QString input = dir.filePath(QStringLiteral("site/page.html"));
    ASSERT_TRUE(testsupport::writeFile(input, "<img src=\"pics/a.gif\"><img src=\"/b.gif\">"
                                              "<img src=\"../c.gif\">"));
    const ToolRun run = runTool({input}, dir.path());
    ASSERT_EQ(run.status, 0) << run.err.constData();
    const QString folder = QUrl::fromLocalFile(dir.path()).toString();
    EXPECT_EQ(QString::fromUtf8(run.out),
              QStringLiteral("image\t%1/site/pics/a.gif\ta.gif\nimage\tfile:///b.gif\tb.gif\n"
                             "image\t%1/c.gif\tc.gif\n")
                  .arg(folder));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("imagepage.html"))));
}

TEST(HarvestTool, ErrorsTouchNoFile)
{
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("page.html"));
    ASSERT_TRUE(testsupport::writeFile(input, kPage));
    const struct {
        QStringList arguments;
    } cases[] = {
        {{dir.filePath(QStringLiteral("missing.html"))}},
        {{dir.path()}},
        {{QStringLiteral("--out"), dir.filePath(QStringLiteral("missing")), input}},
        {{QStringLiteral("--out"), input, input}},
        // A folder that not even root can write into.
        {{QStringLiteral("--out"), QStringLiteral("/proc"), input}},
        {{}},
        {{QStringLiteral("--url")}},
        {{QStringLiteral("--bogus"), input}},
    };
    for (const auto &c : cases) {
        const ToolRun run = runTool(c.arguments, dir.path());
        EXPECT_EQ(run.status, 2) << c.arguments.join(u' ').toStdString();
        EXPECT_EQ(run.out, QByteArray());
        EXPECT_EQ(run.err.count('\n'), 1) << run.err.constData();
        EXPECT_TRUE(run.err.startsWith("quarrow-harvest: ")) << run.err.constData();
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                  QStringList({QStringLiteral("page.html")}));
    }
}

TEST(HarvestTool, HelpAndVersionPrintAndSucceed)
{
    const ToolRun help = runTool({QStringLiteral("--help")});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.contains("--url <PAGE_URL>")) << help.out.constData();
    EXPECT_TRUE(help.out.contains("\\t, \\r"));
    const ToolRun version = runTool({QStringLiteral("--version")});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, QByteArray("quarrow-harvest " QUARROW_VERSION "\n"));
}

// A value may hold any character; none may start a field or a line of its own.
TEST(HarvestTool, ValuesCannotForgeFieldsOrLines)
{
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("page.html"));
    QByteArray page = "<img src=\"x/a.gif\nimage\tjavascript:alert(1)\tx.gif\">";
    page += "<img src=\"b\\c";
    page += '\0';
    page += "d\td.gif\">";
    ASSERT_TRUE(testsupport::writeFile(input, page));
    const ToolRun run = runTool({QStringLiteral("--url"), QStringLiteral("http://h/p.html"),
                                 QStringLiteral("--out"), dir.path(), input});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    EXPECT_EQ(run.out, QByteArray("image\thttp://h/x/a.gif\\nimage\\tjavascript:alert(1)\\tx.gif\t"
                                  "a.gif\\nimage\\tjavascript:alert(1)\\tx.gif\n"
                                  "image\thttp://h/b\\\\c\\0d\\td.gif\tb\\\\c\\0d\\td.gif\n"));
}

TEST(HarvestTool, FailedWritesAreReportedWithTheirReason)
{
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("page.html"));
    QByteArray page;
    for (int i = 0; i < 20000; ++i)
        page += "<img src=\"p" + QByteArray::number(i) + ".gif\">\r\n";
    ASSERT_TRUE(testsupport::writeFile(input, page));
    const QString out = dir.filePath(QStringLiteral("out"));
    QDir(dir.path()).mkdir(QStringLiteral("out"));

    // Files may grow only to 64 KB: the generated pages, the larger working
    // files, cannot be written.
    const auto smallFiles = [] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64 << 10, 64 << 10};
        setrlimit(RLIMIT_FSIZE, &limit);
    };
    const QStringList arguments = {QStringLiteral("--url"), QStringLiteral("http://h/p.html"),
                                   QStringLiteral("--out"), out, input};
    ToolRun run = runTool(arguments, QString(), smallFiles);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              QByteArray("quarrow-harvest: cannot write imagepage.html: File too large\n"));
    EXPECT_EQ(run.out.count('\n'), 20000);

    // A folder where a working file should be.
    QDir(out).removeRecursively();
    QDir(dir.path()).mkpath(QStringLiteral("out/source.htm"));
    run = runTool(arguments);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, QByteArray("quarrow-harvest: cannot write source.htm: is a folder\n"));
    EXPECT_FALSE(QFileInfo::exists(out + QStringLiteral("/imagepage.html")));

    // A symbolic link where a working file should be: refused, its target untouched.
    QDir(out).removeRecursively();
    QDir(dir.path()).mkdir(QStringLiteral("out"));
    const QString victim = dir.filePath(QStringLiteral("victim"));
    ASSERT_TRUE(testsupport::writeFile(victim, "precious"));
    ASSERT_TRUE(QFile::link(victim, out + QStringLiteral("/imagepage.html")));
    run = runTool(arguments);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.startsWith("quarrow-harvest: cannot write imagepage.html: is a symbolic "
                                   "link"))
        << run.err.constData();
    EXPECT_EQ(testsupport::readFile(victim), QByteArray("precious"));
}

TEST(HarvestTool, AFullStandardOutputIsAFailure)
{
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("page.html"));
    ASSERT_TRUE(testsupport::writeFile(input, kPage));
    QProcess process;
    process.setStandardOutputFile(QStringLiteral("/dev/full"));
    process.start(QStringLiteral(QUARROW_HARVEST_TOOL),
                  {QStringLiteral("--out"), dir.path(), input});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_TRUE(process.readAllStandardError().contains("standard output"));
}

TEST(HarvestTool, LimitsReachedAreToldOnStandardError)
{
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("page.html"));
    QByteArray page = "<img src=\"http://h/" + QByteArray(2000, 'd') + "/x\">";
    for (int i = 0; i < 50000; ++i)
        page += "x ";
    ASSERT_TRUE(testsupport::writeFile(input, page));
    const ToolRun run = runTool({QStringLiteral("--out"), dir.path(), input});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.err.startsWith("quarrow-harvest: [Quarrow linked ")) << run.err.constData();
    EXPECT_EQ(run.err.count('\n'), 1);
}

} // namespace
