#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

struct ToolRun {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

ToolRun runTool(const QStringList &arguments, const QString &workingFolder = QString())
{
    QProcess process;
    if (!workingFolder.isEmpty())
        process.setWorkingDirectory(workingFolder);
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
    EXPECT_TRUE(source.startsWith("&lt;p>日本&lt;/p>&lt;a href=\"big/<a "
                                  "href='https://www.example.com/dir/big/cat.jpg'>cat.jpg</a>"))
        << source.constData();
    EXPECT_TRUE(source.endsWith("&lt;a href=\"javascript:go('a.gif')\">no&lt;/a>\r\n"));
    EXPECT_EQ(testsupport::readFile(dir.filePath(QStringLiteral("out/checkImages.txt"))),
              QByteArray("\r\n"));
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

} // namespace
