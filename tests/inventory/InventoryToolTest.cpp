#include "tests/inventory/InventorySite.h"
#include "tests/support/Eventually.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Longer than the tool's own patience on the pages here (60 s and 10 s a MB),
// so that a tool that gives up is heard.
constexpr int kToolWaitMs = 120000;

#define kOptions                                                                                   \
    "[--url PAGE_URL] [--no-script] [--json] [--audit] [--fail-on LIST] [--scroll] "               \
    "[--timeout SECONDS] FILE|ADDRESS"

struct ToolRun {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

ToolRun resultOf(QProcess &process)
{
    ToolRun result;
    if (process.state() != QProcess::NotRunning)
        return result;
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

// Runs a tool while this process's event loop keeps serving the test site, so
// that any request the tool made would be seen.
ToolRun run(const char *tool, const QStringList &arguments, const QString &folder = QString())
{
    QProcess process;
    if (!folder.isEmpty())
        process.setWorkingDirectory(folder);
    process.start(QString::fromLocal8Bit(tool), arguments);
    QUARROW_WAIT_UNTIL(process.state() == QProcess::NotRunning, kToolWaitMs);
    return resultOf(process);
}

ToolRun inventory(const QStringList &arguments)
{
    return run(QUARROW_INVENTORY_TOOL, arguments);
}

ToolRun harvest(const QStringList &arguments, const QString &folder = QString())
{
    return run(QUARROW_HARVEST_TOOL, arguments, folder);
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
    QString pageUrl() const { return site.url(QStringLiteral("/page.html")); }
    QByteArray expected() const
    {
        return expectedFor(site.url(QStringLiteral("/site/")), site.origin());
    }
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(testsupport::writeFile(path, bytes)) << path.toStdString();
        return path;
    }

    QTemporaryDir dir;
    InventorySite site;
    QString saved;
};

TEST_F(InventoryTool, ListsTheSavedPageAndFetchesNothing)
{
    const ToolRun direct = inventory({QStringLiteral("--url"), pageUrl(), saved});
    ASSERT_EQ(direct.status, 0) << direct.err.constData();
    EXPECT_EQ(direct.out, expected());
    EXPECT_EQ(direct.err, QByteArray());
    // The address's value before --inventory is not taken for the option.
    const ToolRun viaHarvest =
        harvest({QStringLiteral("--url"), pageUrl(), QStringLiteral("--inventory"), saved});
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
    const ToolRun viaHarvest = harvest({QStringLiteral("--inventory"), saved});
    ASSERT_EQ(viaHarvest.status, 0) << viaHarvest.err.constData();
    EXPECT_EQ(viaHarvest.out, direct.out);
}

// The page's objects and frames never load here, and no view lays the page
// out: the list must not wait for either, however many tools run at once.
TEST_F(InventoryTool, EveryOneOfSeveralToolsAtOnceFinishes)
{
    std::vector<std::unique_ptr<QProcess>> processes;
    for (int i = 0; i < 4; ++i) {
        processes.push_back(std::make_unique<QProcess>());
        processes.back()->start(QStringLiteral(QUARROW_INVENTORY_TOOL),
                                {QStringLiteral("--url"), pageUrl(), saved});
    }
    auto allDone = [&] {
        for (const auto &process : processes) {
            if (process->state() != QProcess::NotRunning)
                return false;
        }
        return true;
    };
    QUARROW_WAIT_UNTIL(allDone(), kToolWaitMs);
    for (const auto &process : processes) {
        const ToolRun one = resultOf(*process);
        ASSERT_EQ(one.status, 0) << one.err.constData();
        EXPECT_EQ(one.out, expected());
    }
    EXPECT_EQ(site.server().requests(), QStringList());
}

TEST_F(InventoryTool, ReadsPagesBiggerThanTheEngineTakesInMemory)
{
    // More than 2 MB of text in four-byte characters, whose UTF-16 pairs the
    // tool's pieces must not cut: one of the two pages puts a pair across.
    const QByteArray smiles = QByteArray("\xF0\x9F\x98\x80").repeated(800 * 1024);
    for (const QByteArray &filler : {smiles, "x" + smiles}) {
        QByteArray page = site.pageBytes();
        page.replace("<h1>", "<!-- " + filler + " --><h1>");
        ASSERT_GT(page.size(), 3 * 1024 * 1024);
        const QString big = write(QStringLiteral("big.html"), page);
        const ToolRun direct = inventory({QStringLiteral("--url"), pageUrl(), big});
        ASSERT_EQ(direct.status, 0) << direct.err.constData();
        EXPECT_EQ(direct.out, expected());
    }
    EXPECT_EQ(site.server().requests(), QStringList());
}

TEST_F(InventoryTool, ReadsTextThatIsNotUtf8)
{
    const QString url = QStringLiteral("http://h.example/d/");
    // A character set named by the markup...
    ToolRun direct = inventory({QStringLiteral("--url"), url,
                                write(QStringLiteral("latin.html"),
                                      "<meta charset=\"iso-8859-1\"><img src=\"caf\xE9.png\">")});
    ASSERT_EQ(direct.status, 0) << direct.err.constData();
    EXPECT_EQ(direct.out, QByteArray("picture\thttp://h.example/d/caf%C3%A9.png\timg\n"));
    // ...else UTF-8, where a byte that cannot be read is U+FFFD.
    direct = inventory({QStringLiteral("--url"), url,
                        write(QStringLiteral("bad.html"), "<img src=\"caf\xE9.png\"> \xE6\x97")});
    ASSERT_EQ(direct.status, 0) << direct.err.constData();
    EXPECT_EQ(direct.out, QByteArray("picture\thttp://h.example/d/caf%EF%BF%BD.png\timg\n"));
    // Bytes that are no text at all make an empty list, not a wait.
    QByteArray noise(256 * 1024, '\0');
    QRandomGenerator random(20261208);
    for (char &byte : noise)
        byte = char(random.bounded(256));
    direct = inventory({QStringLiteral("--url"), url, write(QStringLiteral("noise.bin"), noise)});
    EXPECT_EQ(direct.status, 0) << direct.err.constData();
    EXPECT_EQ(direct.out, QByteArray());
    direct = inventory({write(QStringLiteral("empty.html"), QByteArray())});
    EXPECT_EQ(direct.status, 0) << direct.err.constData();
    EXPECT_EQ(direct.out, QByteArray());
}

TEST_F(InventoryTool, EscapesTabsAndBreaksInAddresses)
{
    const QString page =
        write(QStringLiteral("escapes.html"),
              "<img src=\"data:image/svg+xml,a%09b\\c\"><a href=\"x\ty.png\">t</a>");
    const ToolRun direct =
        inventory({QStringLiteral("--url"), QStringLiteral("https://example.com/d/"), page});
    ASSERT_EQ(direct.status, 0) << direct.err.constData();
    EXPECT_EQ(direct.out, QByteArray("picture\tdata:image/svg+xml,a%09b\\\\c\timg\n"
                                     "picture\thttps://example.com/d/xy.png\tlink\n"));
}

// A page that tries every way a page runs script, with pictures that only a
// script would add: none is listed, however the page is parsed. What a browser
// running scripts uses is listed, <noscript> fallbacks only without scripts;
// the pictures of srcdoc frames and of declarative shadow trees are listed
// too, and a style sheet named in the body (which holds the parser) delays the
// list but does not stop it. Nothing is asked of the server.
TEST_F(InventoryTool, RunsNoScriptOfThePageAndListsWhatEachKindOfBrowserUses)
{
    const QByteArray ran = "document.body.insertAdjacentHTML('beforeend', '<img src=pics/ran-";
    const QByteArray page =
        "<!DOCTYPE html><html><head>\n"
        "<noscript><img src=\"pics/head-noscript.png\"></noscript>\n"
        "<script>document.write('<img src=\"pics/ran-inline.png\">')</script>\n"
        "<script src=\"data:text/javascript,document.write('<img "
        "src=pics/ran-src.png>')\"></script>\n"
        "<meta http-equiv=\"refresh\" content=\"0; url=javascript:" +
        ran +
        "refresh.png>')\">\n"
        "<link rel=\"preconnect\" href=\"" +
        site.origin().toUtf8() +
        "\"><link rel=\"prefetch\" href=\"pics/prefetch.png\">\n"
        "</head><body onload=\"" +
        ran +
        "onload.png>')\">\n"
        "<img src=\"pics/logo.png\">\n"
        "<noscript><img src=\"pics/body-noscript.png\"></noscript>\n"
        "<details open ontoggle=\"" +
        ran +
        "toggle.png>')\"><summary>s</summary></details>\n"
        "<svg onload=\"" +
        ran +
        "svg.png>')\"></svg>\n"
        "<iframe srcdoc=\"<script>parent." +
        ran +
        "srcdoc.png>')</script><img src=pics/in-srcdoc.png>\"></iframe>\n"
        "<iframe src=\"javascript:parent." +
        ran +
        "frame-url.png>')\"></iframe>\n"
        "<div><template shadowroot=\"open\"><img src=\"pics/shadow.png\"></template></div>\n"
        "<p>text</p><link rel=\"stylesheet\" href=\"css/main.css\">\n"
        "<img src=\"pics/after-sheet.png\">\n"
        "<script type=\"module\">" +
        ran +
        "module.png>')</script>\n"
        "</body></html>\n";
    const QString path = write(QStringLiteral("hostile.html"), page);
    const QString url = site.url(QStringLiteral("/h/page.html"));
    const QByteArray folder = site.url(QStringLiteral("/h/pics/")).toUtf8();
    auto lines = [&](const QList<QByteArray> &names) {
        QByteArray out;
        for (const QByteArray &name : names)
            out += "picture\t" + folder + name + "\timg\n";
        return out;
    };
    const ToolRun scripting = inventory({QStringLiteral("--url"), url, path});
    ASSERT_EQ(scripting.status, 0) << scripting.err.constData();
    EXPECT_EQ(scripting.err, QByteArray());
    EXPECT_EQ(scripting.out, lines({"logo.png", "in-srcdoc.png", "shadow.png", "after-sheet.png"}));
    const ToolRun crawler = harvest({QStringLiteral("--inventory"), QStringLiteral("--no-script"),
                                     QStringLiteral("--url"), url, path});
    ASSERT_EQ(crawler.status, 0) << crawler.err.constData();
    EXPECT_EQ(crawler.out, lines({"head-noscript.png", "logo.png", "body-noscript.png",
                                  "in-srcdoc.png", "shadow.png", "after-sheet.png"}));
    EXPECT_EQ(site.server().requests(), QStringList());
    EXPECT_EQ(site.otherServer().requests(), QStringList());
}

// A saved page read at its own file address: the files beside it that it
// names (a style sheet, a frame, an object, a script, pictures) are not even
// opened; the system tells every open of a file in the folder.
TEST_F(InventoryTool, OpensNoFileBesideThePage)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("page.html"));
    ASSERT_TRUE(testsupport::writeFile(
        path, "<link rel=\"stylesheet\" href=\"head.css\"><link rel=\"icon\" href=\"pic.png\">"
              "<p>x</p><link rel=\"stylesheet\" href=\"body.css\">"
              "<iframe src=\"frame.html\"></iframe><object data=\"drawing.svg\" "
              "type=\"image/svg+xml\"></object><img src=\"pic.png\"><script "
              "src=\"script.js\"></script><video poster=\"pic.png\" src=\"clip.mp4\"></video>"));
    const QList<QPair<const char *, QByteArray>> beside = {
        {"head.css", "body { background: url(leak-head.png) }"},
        {"body.css", "p { background: url(leak-body.png) }"},
        {"frame.html", "<img src=\"leak-frame.png\">"},
        {"drawing.svg",
         "<svg xmlns=\"http://www.w3.org/2000/svg\"><image href=\"leak.png\"/></svg>"},
        {"script.js", "document.write('<img src=leak-script.png>')"},
        {"pic.png", InventorySite::pngBytes(2, 2)},
        {"clip.mp4", "not a film"}};
    for (const auto &[name, bytes] : beside)
        ASSERT_TRUE(testsupport::writeFile(folder.filePath(QString::fromLatin1(name)), bytes));

    const int watcher = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watcher, 0);
    ASSERT_GE(inotify_add_watch(watcher, QFile::encodeName(folder.path()).constData(),
                                IN_OPEN | IN_ACCESS),
              0);
    const ToolRun direct = inventory({path});
    QSet<QString> opened;
    alignas(inotify_event) char buffer[64 * 1024];
    for (ssize_t got; (got = ::read(watcher, buffer, sizeof buffer)) > 0;) {
        for (char *at = buffer; at < buffer + got;) {
            const auto *event = reinterpret_cast<const inotify_event *>(at);
            if (event->len > 0)
                opened.insert(QString::fromLocal8Bit(event->name));
            at += sizeof(inotify_event) + event->len;
        }
    }
    ::close(watcher);

    ASSERT_EQ(direct.status, 0) << direct.err.constData();
    const QByteArray here = QUrl::fromLocalFile(folder.path()).toEncoded() + '/';
    EXPECT_EQ(direct.out, "picture\t" + here + "pic.png\timg,icon,poster\n" + "picture\t" + here +
                              "drawing.svg\tobject\n");
    EXPECT_EQ(opened, QSet<QString>({QStringLiteral("page.html")}));
}

TEST_F(InventoryTool, RefusesWhatItCannotRead)
{
    const QString missing = dir.filePath(QStringLiteral("nothing.html"));
    ToolRun direct = inventory({missing});
    EXPECT_EQ(direct.status, 2);
    EXPECT_EQ(direct.out, QByteArray());
    EXPECT_EQ(direct.err, "quarrow-inventory: cannot read " + missing.toLocal8Bit() + '\n');
    const ToolRun viaHarvest = harvest({QStringLiteral("--inventory"), missing});
    EXPECT_EQ(viaHarvest.status, 2);
    EXPECT_EQ(viaHarvest.out, QByteArray());
    EXPECT_EQ(viaHarvest.err, "quarrow-harvest: cannot read " + missing.toLocal8Bit() + '\n');

    // Nothing that is not a file of the user's is read: no folder, no FIFO
    // (which would hold the tool), no device behind a link, and no file of the
    // kernel's, which is "regular" but no page.
    const QString fifo = dir.filePath(QStringLiteral("fifo.html"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString endless = dir.filePath(QStringLiteral("zero.html"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), endless));
    for (const QString &path : {dir.path(), fifo, endless, QStringLiteral("/proc/self/status")}) {
        direct = inventory({path});
        EXPECT_EQ(direct.status, 2) << path.toStdString();
        EXPECT_EQ(direct.out, QByteArray()) << path.toStdString();
        EXPECT_EQ(direct.err, "quarrow-inventory: cannot read " + path.toLocal8Bit() + '\n');
    }
}

TEST_F(InventoryTool, RefusesBadUsage)
{
    for (const QStringList &arguments :
         {QStringList(), QStringList({saved, saved}),
          QStringList({QStringLiteral("--bogus"), saved}), QStringList({QStringLiteral("--url")}),
          QStringList({QStringLiteral("--url"), QStringLiteral("no/scheme"), saved}),
          // No host: the engine cannot read it (and gave no answer at all).
          QStringList({QStringLiteral("--url"), QStringLiteral("http://"), saved})}) {
        const ToolRun direct = inventory(arguments);
        EXPECT_EQ(direct.status, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(direct.err.startsWith("quarrow-inventory: ")) << direct.err.constData();
        EXPECT_TRUE(direct.err.endsWith("usage: quarrow-inventory " kOptions "\n"))
            << direct.err.constData();
        EXPECT_EQ(direct.err.count('\n'), 1) << direct.err.constData();
        EXPECT_EQ(direct.out, QByteArray());
    }
    ToolRun viaHarvest = harvest({QStringLiteral("--inventory")});
    EXPECT_EQ(viaHarvest.status, 2);
    EXPECT_EQ(viaHarvest.err, QByteArray("quarrow-harvest: no FILE given; usage: quarrow-harvest "
                                         "--inventory " kOptions "\n"));
    // --out belongs to the classic harvest only.
    viaHarvest =
        harvest({QStringLiteral("--inventory"), QStringLiteral("--out"), dir.path(), saved});
    EXPECT_EQ(viaHarvest.status, 2);
    EXPECT_EQ(viaHarvest.err, QByteArray("quarrow-harvest: Unknown option 'out'.; usage: "
                                         "quarrow-harvest --inventory " kOptions "\n"));
    EXPECT_EQ(viaHarvest.out, QByteArray());
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
    EXPECT_TRUE(help.out.contains("--no-script")) << help.out.constData();
    const ToolRun viaHarvest = harvest({QStringLiteral("--inventory"), QStringLiteral("--help")});
    EXPECT_EQ(viaHarvest.status, 0);
    EXPECT_TRUE(viaHarvest.out.contains("picture<TAB>address<TAB>kinds"));
}

// Without --inventory, quarrow-harvest is the classic harvest it always was,
// even for a FILE named --inventory after "--".
TEST_F(InventoryTool, HarvestWithoutItIsTheClassicHarvest)
{
    const QByteArray page = "<img src=\"small/cat.jpg\"><a href=\"big/cat.jpg\">cat</a>";
    write(QStringLiteral("--inventory"), page);
    for (const QStringList &arguments :
         {QStringList({QStringLiteral("--url"), QStringLiteral("https://example.com/d/p.html"),
                       QStringLiteral("--out"), dir.path(), QStringLiteral("--"),
                       QStringLiteral("--inventory")}),
          QStringList({QStringLiteral("--url"), QStringLiteral("https://example.com/d/p.html"),
                       QStringLiteral("--out"), dir.path(),
                       dir.filePath(QStringLiteral("--inventory"))})}) {
        const ToolRun classic = harvest(arguments, dir.path());
        ASSERT_EQ(classic.status, 0) << classic.err.constData();
        EXPECT_EQ(classic.err, QByteArray());
        EXPECT_EQ(classic.out, QByteArray("link\thttps://example.com/d/big/cat.jpg\tcat.jpg\n"
                                          "image\thttps://example.com/d/small/cat.jpg\tcat.jpg\n"));
        EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("source.htm"))));
    }
    const ToolRun usage = harvest({});
    EXPECT_EQ(usage.status, 2);
    EXPECT_EQ(usage.err, QByteArray("quarrow-harvest: no FILE given; usage: quarrow-harvest [--url "
                                    "PAGE_URL] [--base BASE_URL] [--out DIR] FILE\n"));
}

} // namespace
