#include "tests/inventory/InventorySite.h"
#include "tests/support/TestSupport.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

struct ToolRun {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// Runs a tool while this process's event loop keeps serving the test site, so
// that any request the tool made would be seen.
ToolRun run(const char *tool, const QStringList &arguments)
{
    QProcess process;
    QSignalSpy finished(&process, &QProcess::finished);
    process.start(QString::fromLocal8Bit(tool), arguments);
    ToolRun result;
    if (!finished.wait(90000))
        return result;
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

ToolRun inventory(const QStringList &arguments)
{
    return run(QUARROW_INVENTORY_TOOL, arguments);
}

ToolRun harvest(const QStringList &arguments)
{
    return run(QUARROW_HARVEST_TOOL, arguments);
}

// What the saved page uses by itself: its scripts do not run and nothing it
// names is fetched, so no style sheet file, frame or added picture is seen.
QByteArray expectedFor(const QString &base, const QString &origin)
{
    const QString site = base;
    const QList<QPair<QString, QString>> pictures = {
        {origin + "/favicon.ico", "icon"},      {site + "pics/touch.png", "icon"},
        {site + "pics/mask.svg", "icon"},       {site + "pics/share.jpg", "meta"},
        {site + "pics/hero.png", "css"},        {site + "pics/overlay.gif", "css"},
        {site + "pics/r1.png", "css"},          {site + "pics/r2.png", "css"},
        {site + "pics/bullet.gif", "css"},      {site + "pics/quote.gif", "css"},
        {site + "pics/border.png", "css"},      {site + "pics/logo.png", "img,srcset,link"},
        {site + "pics/logo-2x.png", "srcset"},  {site + "pics/wide.webp", "source"},
        {site + "pics/narrow.png", "img"},      {InventorySite::gifDataAddress(), "img"},
        {site + "pics/lazy.jpg", "lazy"},       {site + "pics/lazy-s.jpg", "lazy"},
        {site + "pics/lazy-l.jpg", "lazy"},     {site + "pics/missing.png", "img"},
        {site + "pics/lazy-bg.jpg", "lazy"},    {site + "pics/poster.jpg", "poster"},
        {site + "pics/go.gif", "input"},        {site + "pics/svg-image.png", "svg"},
        {site + "pics/fe.png", "svg"},          {site + "pics/drawing.svg", "object"},
        {site + "pics/embedded.png", "object"}, {site + "pics/big.jpg?size=large#top", "link"},
        {site + "pics/map.gif", "img"},         {site + "pics/area.tif", "link"},
        {site + "pics/inline.png", "css"},      {site + "pics/hidden.png", "css"},
    };
    QByteArray out;
    for (const auto &picture : pictures)
        out += "picture\t" + picture.first.toUtf8() + '\t' + picture.second.toUtf8() + '\n';
    return out;
}

class InventoryTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(site.start());
        saved = dir.filePath(QStringLiteral("saved page.html"));
        ASSERT_TRUE(testsupport::writeFile(saved, site.pageBytes()));
    }
    QTemporaryDir dir;
    InventorySite site;
    QString saved;
};

TEST_F(InventoryTool, ListsTheSavedPageAndFetchesNothing)
{
    const QString pageUrl = site.url(QStringLiteral("/page.html"));
    const ToolRun direct = inventory({QStringLiteral("--url"), pageUrl, saved});
    ASSERT_EQ(direct.status, 0) << direct.err.constData();
    EXPECT_EQ(direct.out, expectedFor(site.url(QStringLiteral("/site/")), site.origin()));
    const ToolRun viaHarvest =
        harvest({QStringLiteral("--inventory"), QStringLiteral("--url"), pageUrl, saved});
    ASSERT_EQ(viaHarvest.status, 0) << viaHarvest.err.constData();
    EXPECT_EQ(viaHarvest.out, direct.out);
    EXPECT_EQ(site.server().requests(), QStringList());
    EXPECT_EQ(site.otherServer().requests(), QStringList());
}

TEST_F(InventoryTool, DefaultsToTheFilesOwnAddress)
{
    // The page's <base href="/site/"> is read against the file's address.
    const ToolRun direct = inventory({saved});
    ASSERT_EQ(direct.status, 0) << direct.err.constData();
    EXPECT_EQ(direct.out, expectedFor(QStringLiteral("file:///site/"), QStringLiteral("file://")));
}

TEST_F(InventoryTool, ReadsPagesBiggerThanTheEngineTakesInMemory)
{
    QByteArray page = site.pageBytes();
    page.replace("<h1>", "<!-- " + QByteArray(3 * 1024 * 1024, 'x') + " --><h1>");
    const QString big = dir.filePath(QStringLiteral("big.html"));
    ASSERT_TRUE(testsupport::writeFile(big, page));
    const ToolRun direct =
        inventory({QStringLiteral("--url"), site.url(QStringLiteral("/page.html")), big});
    ASSERT_EQ(direct.status, 0) << direct.err.constData();
    EXPECT_EQ(direct.out, expectedFor(site.url(QStringLiteral("/site/")), site.origin()));
    EXPECT_EQ(site.server().requests(), QStringList());
}

TEST_F(InventoryTool, EscapesTabsAndBreaksInAddresses)
{
    const QString page = dir.filePath(QStringLiteral("escapes.html"));
    ASSERT_TRUE(testsupport::writeFile(
        page, "<img src=\"data:image/svg+xml,a%09b\\c\"><a href=\"x\ty.png\">t</a>"));
    const ToolRun direct =
        inventory({QStringLiteral("--url"), QStringLiteral("https://example.com/d/"), page});
    ASSERT_EQ(direct.status, 0) << direct.err.constData();
    EXPECT_EQ(direct.out, QByteArray("picture\tdata:image/svg+xml,a%09b\\\\c\timg\n"
                                     "picture\thttps://example.com/d/xy.png\tlink\n"));
}

TEST_F(InventoryTool, RefusesWhatItCannotRead)
{
    const QString missing = dir.filePath(QStringLiteral("nothing.html"));
    ToolRun direct = inventory({missing});
    EXPECT_EQ(direct.status, 2);
    EXPECT_EQ(direct.out, QByteArray());
    EXPECT_EQ(direct.err, "quarrow-inventory: cannot read " + missing.toLocal8Bit() + '\n');
    ToolRun viaHarvest = harvest({QStringLiteral("--inventory"), missing});
    EXPECT_EQ(viaHarvest.status, 2);
    EXPECT_EQ(viaHarvest.err, "quarrow-harvest: cannot read " + missing.toLocal8Bit() + '\n');

    direct = inventory({dir.path()});
    EXPECT_EQ(direct.status, 2);
    EXPECT_EQ(direct.err, "quarrow-inventory: cannot read " + dir.path().toLocal8Bit() + '\n');
}

TEST_F(InventoryTool, RefusesBadUsage)
{
    for (const QStringList &arguments : {QStringList(), QStringList({saved, saved}),
                                         QStringList({QStringLiteral("--bogus"), saved}),
                                         QStringList({QStringLiteral("--url")})}) {
        const ToolRun direct = inventory(arguments);
        EXPECT_EQ(direct.status, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(direct.err.startsWith("quarrow-inventory: ")) << direct.err.constData();
        EXPECT_TRUE(direct.err.contains("usage: quarrow-inventory [--url PAGE_URL] FILE"))
            << direct.err.constData();
        EXPECT_EQ(direct.out, QByteArray());
    }
    const ToolRun viaHarvest = harvest({QStringLiteral("--inventory")});
    EXPECT_EQ(viaHarvest.status, 2);
    EXPECT_EQ(viaHarvest.err, QByteArray("quarrow-harvest: no FILE given; usage: quarrow-harvest "
                                         "--inventory [--url PAGE_URL] FILE\n"));
}

TEST_F(InventoryTool, TellsItsVersionAndHelp)
{
    const ToolRun version = inventory({QStringLiteral("--version")});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, QByteArray("quarrow-inventory " QUARROW_VERSION "\n"));
    const ToolRun help = inventory({QStringLiteral("--help")});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.contains("--url <PAGE_URL>")) << help.out.constData();
    EXPECT_TRUE(help.out.contains("picture<TAB>address<TAB>kinds"));
}

} // namespace
