// quarrow-inventory in pipelines: JSON lines, the audit and --fail-on, and
// pages loaded from a live address, run as a process against local servers.

#include "tests/inventory/GallerySite.h"
#include "tests/support/Eventually.h"
#include "tests/support/TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Longer than any of the tool's own bounds on the pages here.
constexpr int kToolWaitMs = 150000;

struct ToolRun {
    int status = -1;
    QByteArray out;
    QByteArray err;
    // The --json lines, each parsed; a line that is no object fails the test.
    QList<QJsonObject> objects() const
    {
        QList<QJsonObject> out_;
        for (const QByteArray &line : out.split('\n')) {
            if (line.isEmpty())
                continue;
            QJsonParseError error;
            const QJsonDocument document = QJsonDocument::fromJson(line, &error);
            EXPECT_EQ(error.error, QJsonParseError::NoError) << line.constData();
            EXPECT_TRUE(document.isObject()) << line.constData();
            out_.append(document.object());
        }
        return out_;
    }
};

// Runs the tool while this process's event loop keeps serving the sites.
ToolRun inventory(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(QUARROW_INVENTORY_TOOL), arguments);
    QUARROW_WAIT_UNTIL(process.state() == QProcess::NotRunning, kToolWaitMs);
    ToolRun result;
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

QJsonObject pictureOf(const QList<QJsonObject> &objects, const QString &address)
{
    for (const QJsonObject &object : objects) {
        if (object.value(QStringLiteral("address")).toString() == address)
            return object;
    }
    return {};
}

QStringList issueNames(const QJsonObject &picture)
{
    QStringList names;
    for (const QJsonValue &issue : picture.value(QStringLiteral("issues")).toArray())
        names.append(issue.toObject().value(QStringLiteral("name")).toString());
    return names;
}

QString stateOf(const QJsonObject &picture)
{
    return picture.value(QStringLiteral("state"))
        .toObject()
        .value(QStringLiteral("name"))
        .toString();
}

// Grows by a screen each time the reader comes near its end, for ever.
const char kEndless[] = R"html(<!DOCTYPE html><html><body style="margin:0">
<div id="feed"></div><script>
let n = 0;
function more() {
    const d = document.createElement('div');
    d.style.height = '900px';
    d.innerHTML = '<img src="/pics/logo.png?' + (n++) + '" alt="" width="50" height="50">';
    document.getElementById('feed').appendChild(d);
}
for (let i = 0; i < 3; ++i) more();
window.addEventListener('scroll', function () {
    if (window.scrollY + window.innerHeight > document.body.scrollHeight - 300) more();
});
</script></body></html>)html";

// Nothing wrong with it.
const char kClean[] = R"html(<!DOCTYPE html><html><body>
<img src="/pics/logo.png" alt="Harbour Walks" width="120" height="40"></body></html>)html";

class InventoryPipeline : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(site.start());
        site.server().setRoute(QStringLiteral("/endless.html"), kEndless);
        site.server().setRoute(QStringLiteral("/clean.html"), kClean);
        site.server().setRoute(QStringLiteral("/gone.html"),
                               "<!DOCTYPE html><title>Gone</title><p>No such page",
                               "text/html; charset=utf-8", "404 Not Found");
    }
    QString url(const char *path) const { return site.url(QString::fromUtf8(path)); }
    int requestsFor(const char *path)
    {
        return int(site.server().requests().count(QString::fromUtf8(path)));
    }

    GallerySite site;
};

TEST_F(InventoryPipeline, JsonLinesTellSourcesStatesAndIssuesOfALivePage)
{
    const ToolRun run =
        inventory({QStringLiteral("--json"), QStringLiteral("--audit"), url("/walk.html")});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    const QList<QJsonObject> pictures = run.objects();
    // A line a row of Page Info: the gallery's placeholder, 14 from the
    // markup, 2 from style sheets, the script's picture and the first
    // gallery picture it swapped in.
    EXPECT_EQ(pictures.size(), 19) << run.out.constData();
    const struct {
        const char *path;
        const char *source;
        const char *state; // empty: any
        QStringList issues;
    } cases[] = {
        {"/pics/hero.jpg", "style", "shown", {}},
        {"/pics/photo-large.jpg",
         "markup",
         "shown",
         {QStringLiteral("oversized"), QStringLiteral("heavy"), QStringLiteral("webp-smaller")}},
        {"/pics/no-alt.png", "markup", "shown", {QStringLiteral("missing-alt")}},
        {"/pics/unsized.png", "markup", "shown", {QStringLiteral("missing-size")}},
        {"/pics/broken.jpg", "markup", "failed", {QStringLiteral("broken")}},
        {"/pics/dancing.gif", "markup", "shown", {QStringLiteral("animated-gif")}},
        {"/pics/far.png", "markup", "shown", {QStringLiteral("offscreen-eager")}},
        {"/pics/gallery-1.jpg", "markup", "waiting", {}},
        {"/pics/added.png", "script", "", {}},
    };
    for (const auto &c : cases) {
        const QJsonObject picture = pictureOf(pictures, url(c.path));
        ASSERT_FALSE(picture.isEmpty()) << c.path;
        EXPECT_EQ(picture.value(QStringLiteral("source")).toString(), QString::fromUtf8(c.source))
            << c.path;
        if (*c.state) {
            EXPECT_EQ(stateOf(picture), QString::fromUtf8(c.state)) << c.path;
        }
        EXPECT_EQ(issueNames(picture), c.issues) << c.path;
    }
    // The broken one says why; the oversized one what the right size saves.
    const QJsonObject broken = pictureOf(pictures, url("/pics/broken.jpg"));
    EXPECT_EQ(broken.value(QStringLiteral("state")).toObject().value(QStringLiteral("failure")),
              QStringLiteral("404 Not Found"));
    EXPECT_EQ(broken.value(QStringLiteral("status")).toInt(), 404);
    const QJsonObject photo = pictureOf(pictures, url("/pics/photo-large.jpg"));
    EXPECT_EQ(photo.value(QStringLiteral("natural")).toObject().value(QStringLiteral("width")),
              1600);
    EXPECT_EQ(photo.value(QStringLiteral("displayed")).toObject().value(QStringLiteral("width")),
              200);
    EXPECT_GT(photo.value(QStringLiteral("state"))
                  .toObject()
                  .value(QStringLiteral("transferred"))
                  .toDouble(),
              100000);
    const QJsonObject oversized =
        photo.value(QStringLiteral("issues")).toArray().first().toObject();
    EXPECT_GT(oversized.value(QStringLiteral("savings")).toDouble(), 100000);
    EXPECT_TRUE(oversized.value(QStringLiteral("words"))
                    .toString()
                    .startsWith(QStringLiteral("served at 1600 \u00d7 1200 for 200 \u00d7 150")));
    // The gallery's lazy pictures stay waiting without --scroll: fetched for
    // the audit only, never by the page.
    EXPECT_EQ(stateOf(pictureOf(pictures, url("/pics/gallery-3.jpg"))), QStringLiteral("waiting"));
}

TEST_F(InventoryPipeline, ScrollLoadsTheLazyGalleryAndAnEndlessPageIsLeft)
{
    ToolRun run = inventory({QStringLiteral("--json"), url("/walk.html")});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    EXPECT_EQ(stateOf(pictureOf(run.objects(), url("/pics/gallery-2.jpg"))),
              QStringLiteral("waiting"));
    EXPECT_EQ(requestsFor("/pics/gallery-2.jpg"), 0);
    // Without --audit there are no issues to tell.
    EXPECT_FALSE(
        pictureOf(run.objects(), url("/pics/no-alt.png")).contains(QStringLiteral("issues")));

    run = inventory({QStringLiteral("--json"), QStringLiteral("--scroll"), url("/walk.html")});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    EXPECT_EQ(run.err, QByteArray());
    for (const char *path : {"/pics/gallery-1.jpg", "/pics/gallery-2.jpg", "/pics/gallery-3.jpg"}) {
        const QJsonObject picture = pictureOf(run.objects(), url(path));
        EXPECT_EQ(stateOf(picture), QStringLiteral("shown")) << path;
        EXPECT_EQ(picture.value(QStringLiteral("source")).toString(), QStringLiteral("script"))
            << path;
        EXPECT_EQ(requestsFor(path), 1) << path;
    }
    // Never in sight: never loaded.
    EXPECT_EQ(stateOf(pictureOf(run.objects(), url("/pics/gallery-hidden.jpg"))),
              QStringLiteral("waiting"));

    // A page that grows whenever its end comes near is left within the bounds.
    run = inventory({QStringLiteral("--json"), QStringLiteral("--scroll"), url("/endless.html")});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    EXPECT_TRUE(run.err.endsWith(": the page keeps growing\n")) << run.err.constData();
    EXPECT_EQ(run.err.count('\n'), 1) << run.err.constData();
    const QList<QJsonObject> pictures = run.objects();
    EXPECT_GT(pictures.size(), 3);
    EXPECT_LT(pictures.size(), 40);
    for (const QJsonObject &picture : pictures)
        EXPECT_EQ(picture.value(QStringLiteral("source")).toString(), QStringLiteral("script"));
}

TEST_F(InventoryPipeline, FailOnExitsWithThreeOnlyWhenAListedIssueIsFound)
{
    const struct {
        const char *page;
        const char *list;
        int status;
        const char *found; // the line on standard error
    } cases[] = {
        {"/walk.html", "missing-alt,broken", 3,
         "quarrow-inventory: found missing-alt (1 picture), broken (1 picture)\n"},
        {"/walk.html", "animated-gif", 3, "quarrow-inventory: found animated-gif (1 picture)\n"},
        {"/clean.html", "missing-alt,broken,oversized", 0, ""},
    };
    for (const auto &c : cases) {
        const ToolRun run =
            inventory({QStringLiteral("--fail-on"), QString::fromUtf8(c.list), url(c.page)});
        EXPECT_EQ(run.status, c.status) << c.page << ' ' << c.list << ": " << run.err.constData();
        EXPECT_EQ(run.err, QByteArray(c.found)) << c.page << ' ' << c.list;
        // Everything is printed first, with the issue names as a fourth field.
        QList<QByteArray> lines = run.out.split('\n');
        EXPECT_EQ(lines.takeLast(), QByteArray()); // ends with a line end
        EXPECT_GE(lines.size(), c.status == 3 ? 19 : 1);
        for (const QByteArray &line : lines)
            EXPECT_EQ(line.count('\t'), 3) << line.constData();
    }
    const QByteArray noAlt =
        "picture\t" + url("/pics/no-alt.png").toUtf8() + "\timg\tmissing-alt\n";
    EXPECT_TRUE(inventory({QStringLiteral("--audit"), url("/walk.html")}).out.contains(noAlt));

    // An issue nobody knows is a usage error, before anything is loaded.
    const int before = requestsFor("/walk.html");
    const ToolRun unknown = inventory(
        {QStringLiteral("--fail-on"), QStringLiteral("missing-alt,blurry"), url("/walk.html")});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.out, QByteArray());
    EXPECT_EQ(unknown.err.count('\n'), 1) << unknown.err.constData();
    EXPECT_TRUE(unknown.err.contains("\"blurry\"")) << unknown.err.constData();
    EXPECT_TRUE(unknown.err.contains("missing-alt, missing-size, oversized, heavy, animated-gif, "
                                     "webp-smaller, offscreen-eager, lazy-in-first-screen, broken"))
        << unknown.err.constData();
    EXPECT_EQ(requestsFor("/walk.html"), before);
}

TEST_F(InventoryPipeline, ASavedPageIsAuditedByItsMarkupAlone)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString saved = dir.filePath(QStringLiteral("walk.html"));
    ASSERT_TRUE(testsupport::writeFile(
        saved, "<!DOCTYPE html><body><img src=\"pics/a.png\" width=\"9\" height=\"9\">"
               "<img src=\"pics/b.png\" alt=\"B\" srcset=\"pics/b-2x.png 2x\">"
               "<div style=\"background: url(pics/c.png)\"></div></body>"));
    const QString pageUrl = url("/saved/walk.html");
    const int requests = int(site.server().requests().size());

    const ToolRun plain = inventory({QStringLiteral("--url"), pageUrl, saved});
    ASSERT_EQ(plain.status, 0) << plain.err.constData();
    const ToolRun audited =
        inventory({QStringLiteral("--url"), pageUrl, QStringLiteral("--audit"), saved});
    ASSERT_EQ(audited.status, 0) << audited.err.constData();
    // The same lines, each with its issues as a fourth field.
    QList<QByteArray> plainLines = plain.out.split('\n');
    QList<QByteArray> auditedLines = audited.out.split('\n');
    ASSERT_EQ(plainLines.size(), auditedLines.size()) << audited.out.constData();
    for (qsizetype i = 0; i < plainLines.size(); ++i) {
        if (plainLines.at(i).isEmpty())
            continue;
        EXPECT_TRUE(auditedLines.at(i).startsWith(plainLines.at(i) + '\t'))
            << auditedLines.at(i).constData();
    }
    const QByteArray site_ = url("/saved/pics/").toUtf8();
    EXPECT_EQ(audited.out, "picture\t" + site_ + "a.png\timg\tmissing-alt\n" + "picture\t" + site_ +
                               "b.png\timg\tmissing-size\n" + "picture\t" + site_ +
                               "b-2x.png\tsrcset\t\n" + "picture\t" + site_ + "c.png\tcss\t\n");

    const ToolRun json =
        inventory({QStringLiteral("--url"), pageUrl, QStringLiteral("--json"),
                   QStringLiteral("--fail-on"), QStringLiteral("missing-size"), saved});
    EXPECT_EQ(json.status, 3) << json.err.constData();
    const QList<QJsonObject> pictures = json.objects();
    ASSERT_EQ(pictures.size(), 3); // the 2x candidate is a variant of b.png
    for (const QJsonObject &picture : pictures) {
        EXPECT_EQ(picture.value(QStringLiteral("source")).toString(), QStringLiteral("markup"));
        EXPECT_EQ(stateOf(picture), QStringLiteral("not-loaded"));
        EXPECT_FALSE(picture.value(QStringLiteral("failed")).toBool());
    }
    EXPECT_EQ(pictureOf(pictures, QString::fromUtf8(site_) + QStringLiteral("b.png"))
                  .value(QStringLiteral("variants"))
                  .toArray()
                  .size(),
              1);
    // Nothing was fetched.
    EXPECT_EQ(site.server().requests().size(), requests);
}

TEST_F(InventoryPipeline, AnAddressThatCannotBeLoadedIsAnErrorOfOneLine)
{
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const QString refused = QStringLiteral("http://127.0.0.1:%1/").arg(closed.serverPort());
    closed.close();
    // A page whose picture never comes never finishes loading.
    site.server().setRoute(QStringLiteral("/waits.html"),
                           "<!DOCTYPE html><img src=\"/pics/held.png\" alt=\"\">");
    site.server().holdRoute(QStringLiteral("/pics/held.png"));
    const struct {
        QString address;
        QStringList options;
        QByteArray why;
    } cases[] = {
        {url("/gone.html"), {}, "404 Not Found"},
        {refused, {QStringLiteral("--json")}, "The server refused the connection"},
        {url("/waits.html"),
         {QStringLiteral("--timeout"), QStringLiteral("2")},
         "it did not finish loading within 2 s"},
    };
    for (const auto &c : cases) {
        const ToolRun run = inventory(c.options + QStringList{c.address});
        EXPECT_EQ(run.status, 1) << c.address.toStdString();
        EXPECT_EQ(run.out, QByteArray());
        EXPECT_EQ(run.err,
                  "quarrow-inventory: cannot load " + c.address.toUtf8() + ": " + c.why + '\n');
    }
}

} // namespace
