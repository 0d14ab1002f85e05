// Where each picture came from, whether the page loaded it, what is wrong with
// it, and Load Lazy Pictures: a travel page served on 127.0.0.1, read by the
// real engine, in a Page Info window as the program opens it.

#include "platform/PictureEstimator.h"
#include "platform/ServedMarkup.h"
#include "tests/inventory/OffscreenViewTest.h"
#include "windows/MediaModels.h"
#include "windows/PageInfoWindow.h"
#include "windows/PictureFetcher.h"

#include "tests/inventory/GallerySite.h"
#include "tests/support/Eventually.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QString Product = QStringLiteral("QuarrowPageInfoSourcesTest");

class PageInfoSources : public OffscreenViewTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(site.start());
        openView();
        {
            // The home page first, in a page of its own: the walk's logo
            // comes from the profile's cache.
            QWebEnginePage home(profile.get());
            QSignalSpy loaded(&home, &QWebEnginePage::loadFinished);
            home.load(site.server().url(QStringLiteral("/home.html")));
            ASSERT_TRUE(loaded.wait(30000));
        }
        QSignalSpy loaded(page, &QWebEnginePage::loadFinished);
        page->load(site.server().url(QStringLiteral("/walk.html")));
        ASSERT_TRUE(loaded.wait(30000));
        EXPECT_EVENTUALLY_EQ(page->title(), QStringLiteral("ready"), 20000);
        pageRequests = int(site.server().requests().count(QStringLiteral("/walk.html")));
        window = new PageInfoWindow(profile.get(), Product);
        window->show();
        takeInventory();
    }
    void TearDown() override
    {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<QMessageBox *>(widget))
                widget->close();
        }
        delete window.data();
        closeView();
    }

    // As the program does: the served markup is read while the inventory is taken.
    void takeInventory()
    {
        QSignalSpy shown(window.data(), &PageInfoWindow::inventoryShown);
        QSignalSpy sources(window.data(), &PageInfoWindow::sourcesShown);
        window->setLivePage(page);
        window->readServedMarkup(page->url());
        bool done = false;
        PageInventory::collect(page, [&](const Inventory &result) {
            ASSERT_TRUE(result.valid) << result.error.toStdString();
            window->setInventory(result);
            done = true;
        });
        QUARROW_WAIT_UNTIL(done, 20000);
        ASSERT_TRUE(shown.count() > 0 || shown.wait(20000));
        ASSERT_TRUE(sources.count() > 0 || sources.wait(30000));
        ASSERT_TRUE(model()->sourcesKnown()) << model()->servedError().toStdString();
    }

    MediaModel *model() const { return window->mediaModel(); }
    int rowOf(const QString &address) const
    {
        for (int row = 0; row < model()->rowCount(); ++row) {
            if (model()->entry(row).address == address)
                return row;
        }
        return -1;
    }
    int rowOf(const char *path) const { return rowOf(site.url(QString::fromUtf8(path))); }
    QString cell(const char *path, int column) const
    {
        const int row = rowOf(path);
        return row < 0 ? QStringLiteral("(no row %1)").arg(QString::fromUtf8(path))
                       : model()->index(row, column).data().toString();
    }
    QStringList issueNames(const char *path) const
    {
        const int row = rowOf(path);
        if (row < 0)
            return {QStringLiteral("(no row)")};
        QStringList out;
        for (const PictureAudit::Issue &issue : model()->issues(row))
            out.append(PictureAudit::name(issue.kind));
        return out;
    }
    // Every row's answer is in, and every estimate made.
    bool settled() const
    {
        for (int row = 0; row < model()->rowCount(); ++row) {
            if (!model()->answer(row).answered())
                return false;
        }
        return model()->rowCount() > 0 && model()->estimator()->idle();
    }
    QString label(const char *name) const
    {
        auto *found = window->findChild<QLabel *>(QString::fromUtf8(name));
        return found ? found->text() : QStringLiteral("(no label)");
    }
    double scrollY()
    {
        double y = -1;
        bool done = false;
        page->runJavaScript(QStringLiteral("window.scrollY"), 0, [&](const QVariant &v) {
            y = v.toDouble();
            done = true;
        });
        QUARROW_WAIT_UNTIL(done, 10000);
        return y;
    }
    QStringList shownFileNames() const
    {
        QStringList out;
        MediaFilter *filter = window->mediaFilter();
        for (int row = 0; row < filter->rowCount(); ++row)
            out.append(
                filter->index(row, MediaModel::Address).data(MediaModel::FileNameRole).toString());
        std::sort(out.begin(), out.end());
        return out;
    }

    GallerySite site;
    QPointer<PageInfoWindow> window;
    int pageRequests = 0;
};

TEST_F(PageInfoSources, EachPictureSaysWhereItCameFromWhetherItLoadedAndWhatIsWrong)
{
    EXPECT_EVENTUALLY(settled(), 60000);
    const QString placeholder = QString::fromLatin1(GallerySite::placeholder);
    const struct {
        QString path;
        const char *source;
        const char *state; // the state's words, up to the bytes
        QStringList issues;
    } cases[] = {
        {QStringLiteral("/pics/logo.png"), "markup", "shown, from cache", {}},
        {QStringLiteral("/pics/badge.png"), "style", "shown", {}},
        {QStringLiteral("/pics/hero.jpg"), "style", "shown", {}},
        {QStringLiteral("/pics/photo-large.jpg"),
         "markup",
         "shown",
         {QStringLiteral("oversized"), QStringLiteral("heavy"), QStringLiteral("webp-smaller")}},
        {QStringLiteral("/pics/no-alt.png"), "markup", "shown", {QStringLiteral("missing-alt")}},
        {QStringLiteral("/pics/unsized.png"), "markup", "shown", {QStringLiteral("missing-size")}},
        {QStringLiteral("/pics/broken.jpg"),
         "markup",
         "failed: 404 Not Found",
         {QStringLiteral("broken")}},
        {QStringLiteral("/pics/above.png"),
         "markup",
         "shown",
         {QStringLiteral("lazy-in-first-screen")}},
        {QStringLiteral("/pics/dancing.gif"), "markup", "shown", {QStringLiteral("animated-gif")}},
        {QStringLiteral("/pics/far.png"), "markup", "shown", {QStringLiteral("offscreen-eager")}},
        {QStringLiteral("/pics/native-1.png"), "markup", "waiting (lazy)", {}},
        {QStringLiteral("/pics/preloaded.png"), "markup", "loaded, not shown", {}},
        {QStringLiteral("/pics/gallery-0.jpg"), "script", "shown", {}},
        {QStringLiteral("/pics/gallery-1.jpg"), "markup", "waiting (lazy)", {}},
        {QStringLiteral("/pics/gallery-hidden.jpg"), "markup", "waiting (lazy)", {}},
        {QStringLiteral("/pics/added.png"), "script", "shown", {}},
    };
    for (const auto &c : cases) {
        const QByteArray path = c.path.toUtf8();
        EXPECT_EQ(cell(path.constData(), MediaModel::Source), QString::fromUtf8(c.source))
            << path.constData();
        const QString state = cell(path.constData(), MediaModel::State);
        EXPECT_TRUE(state.startsWith(QString::fromUtf8(c.state)))
            << path.constData() << ": " << state.toStdString();
        EXPECT_EQ(issueNames(path.constData()), c.issues) << path.constData();
    }
    // The bytes that came over the network, where the engine tells them.
    const int photo = rowOf("/pics/photo-large.jpg");
    ASSERT_GE(photo, 0);
    EXPECT_TRUE(model()->state(photo).text().endsWith(QStringLiteral(" KB transferred")));
    EXPECT_EQ(model()->index(photo, MediaModel::State).data(Qt::ToolTipRole).toString(),
              PlainToolTip(model()->state(photo).text()));
    // The placeholder that the gallery's first picture was swapped from.
    const int placeholderRow = rowOf(placeholder);
    ASSERT_GE(placeholderRow, 0);
    EXPECT_EQ(model()->index(placeholderRow, MediaModel::Source).data().toString(),
              QStringLiteral("placeholder"));
    // A picture only a browser without scripts loads is no row of the live page.
    EXPECT_LT(rowOf("/pics/noscript.png"), 0);
    // The issue's words say what the right size would save and what WebP would.
    const QString photoIssues = cell("/pics/photo-large.jpg", MediaModel::Issues);
    EXPECT_TRUE(
        photoIssues.contains(QStringLiteral("served at 1600 \u00d7 1200 for 200 \u00d7 150: "
                                            "the right size would save about")))
        << photoIssues.toStdString();
    EXPECT_TRUE(photoIssues.contains(QStringLiteral("WebP would make it")))
        << photoIssues.toStdString();

    EXPECT_EQ(label("general_sources"),
              QStringLiteral("19 pictures: 14 in the markup, 2 added by scripts, 2 only in style "
                             "sheets, 1 lazy placeholder"));
    EXPECT_EVENTUALLY_EQ(label("general_problems"), QStringLiteral("9 problems in 7 pictures"),
                         10000);
    EXPECT_EQ(label("general_pictures"), QStringLiteral("19"));
}

TEST_F(PageInfoSources, ExportsTellSourcesStatesAndFindings)
{
    EXPECT_EVENTUALLY(settled(), 60000);
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString csvPath = folder.filePath(QStringLiteral("pictures.csv"));
    const QString jsonPath = folder.filePath(QStringLiteral("pictures.json"));
    ASSERT_TRUE(window->exportTo(csvPath));
    ASSERT_TRUE(window->exportTo(jsonPath));
    const QList<QByteArray> lines = testsupport::readFile(csvPath).split('\n');
    EXPECT_TRUE(
        lines.constFirst().endsWith("source,state,bytes transferred,from cache,issues,findings\r"));
    const QByteArray photo = site.url(QStringLiteral("/pics/photo-large.jpg")).toUtf8();
    const QByteArray logo = site.url(QStringLiteral("/pics/logo.png")).toUtf8();
    QByteArray photoLine;
    QByteArray logoLine;
    for (const QByteArray &line : lines) {
        if (line.startsWith(photo + ','))
            photoLine = line;
        if (line.startsWith(logo + ','))
            logoLine = line;
    }
    EXPECT_TRUE(photoLine.contains(",markup,shown,") &&
                photoLine.contains(",false,oversized heavy webp-smaller,"))
        << photoLine.constData();
    EXPECT_TRUE(logoLine.contains(",markup,shown,,true,,")) << logoLine.constData();
    const QJsonArray pictures = QJsonDocument::fromJson(testsupport::readFile(jsonPath))
                                    .object()
                                    .value("pictures")
                                    .toArray();
    ASSERT_EQ(pictures.size(), 19);
    for (const QJsonValue &value : pictures) {
        const QJsonObject picture = value.toObject();
        if (picture.value("address").toString() != QString::fromUtf8(photo))
            continue;
        EXPECT_EQ(picture.value("source").toString(), QStringLiteral("markup"));
        EXPECT_EQ(picture.value("state").toObject().value("name").toString(),
                  QStringLiteral("shown"));
        const QJsonArray issues = picture.value("issues").toArray();
        ASSERT_EQ(issues.size(), 3);
        EXPECT_EQ(issues.at(0).toObject().value("name").toString(), QStringLiteral("oversized"));
        EXPECT_GT(issues.at(0).toObject().value("savings").toDouble(), 500 * 1024.0);
    }
}

TEST_F(PageInfoSources, TheServedMarkupCameWithoutRunningOrFetchingAnything)
{
    // Read from the page that the engine had: no script of it ran there, and
    // nothing it names was fetched for it (a browser without scripts would
    // have loaded the picture in <noscript>).
    EXPECT_FALSE(site.server().requests().contains(QStringLiteral("/pics/noscript.png")));
    EXPECT_GT(window->servedMarkup()->refusedRequests(), 0);
    EXPECT_LE(site.server().requests().count(QStringLiteral("/walk.html")), pageRequests + 1);
}

TEST_F(PageInfoSources, TheSourceFilterAndProblemsOnlyNarrowTheList)
{
    EXPECT_EVENTUALLY(settled(), 60000);
    auto *source = window->findChild<QComboBox *>(QStringLiteral("mediaSourceFilter"));
    auto *problems = window->findChild<QCheckBox *>(QStringLiteral("mediaProblemsOnly"));
    ASSERT_TRUE(source && problems);
    const struct {
        const char *source;
        bool problemsOnly;
        QStringList names;
    } cases[] = {
        {"script", false, {QStringLiteral("added.png"), QStringLiteral("gallery-0.jpg")}},
        {"style", false, {QStringLiteral("badge.png"), QStringLiteral("hero.jpg")}},
        {"markup",
         true,
         {QStringLiteral("above.png"), QStringLiteral("broken.jpg"), QStringLiteral("dancing.gif"),
          QStringLiteral("far.png"), QStringLiteral("no-alt.png"),
          QStringLiteral("photo-large.jpg"), QStringLiteral("unsized.png")}},
        {"script", true, {}},
    };
    for (const auto &c : cases) {
        source->setCurrentIndex(source->findData(QString::fromUtf8(c.source)));
        problems->setChecked(c.problemsOnly);
        EXPECT_EQ(shownFileNames(), c.names) << c.source << c.problemsOnly;
        EXPECT_TRUE(window->mediaFilter()->narrowed());
    }
    source->setCurrentIndex(0);
    problems->setChecked(false);
    EXPECT_EQ(window->mediaFilter()->rowCount(), 19);
}

TEST_F(PageInfoSources, LoadLazyPicturesScrollsThePageThroughAndListsItAgain)
{
    page->runJavaScript(QStringLiteral("window.scrollTo(0, 200)"));
    EXPECT_EVENTUALLY_EQ(scrollY(), 200.0, 10000);
    // The picture looked at stays selected.
    const QModelIndex photo = window->mediaFilter()->mapFromSource(
        model()->index(rowOf("/pics/photo-large.jpg"), MediaModel::Address));
    window->mediaTable()->selectionModel()->setCurrentIndex(
        photo, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    // What the list says is shown before: a picture of the first screen may
    // still have been coming in when the list was taken.
    const auto shownNow = [this] {
        QSet<QString> shown;
        for (int row = 0; row < model()->rowCount(); ++row) {
            const QString address = model()->entry(row).address;
            if (model()
                    ->index(row, MediaModel::State)
                    .data()
                    .toString()
                    .startsWith(QStringLiteral("shown")))
                shown.insert(address);
        }
        return shown;
    };
    const QSet<QString> shownBefore = shownNow();
    QSignalSpy loaded(window.data(), &PageInfoWindow::lazyPicturesLoaded);
    auto *button = window->findChild<QPushButton *>(QStringLiteral("mediaLoadLazy"));
    ASSERT_TRUE(button && button->isEnabled());
    button->click();
    EXPECT_TRUE(window->loadingLazyPictures());
    ASSERT_TRUE(loaded.wait(40000));
    const auto result = loaded.first().first().value<LazyLoader::Result>();
    EXPECT_EQ(result.outcome, LazyLoader::Outcome::End);
    EXPECT_TRUE(result.returned);
    // Back where the reader was.
    EXPECT_EQ(scrollY(), 200.0);
    EXPECT_EQ(window->selectedAddresses(),
              QStringList{site.url(QStringLiteral("/pics/photo-large.jpg"))});
    for (const char *path : {"/pics/gallery-1.jpg", "/pics/gallery-2.jpg", "/pics/gallery-3.jpg"}) {
        EXPECT_EQ(cell(path, MediaModel::Source), QStringLiteral("script")) << path;
        EXPECT_TRUE(cell(path, MediaModel::State).startsWith(QStringLiteral("shown"))) << path;
    }
    EXPECT_TRUE(cell("/pics/native-1.png", MediaModel::State).startsWith(QStringLiteral("shown")));
    // The hidden one never came into sight.
    EXPECT_EQ(cell("/pics/gallery-hidden.jpg", MediaModel::State),
              QStringLiteral("waiting (lazy)"));
    EXPECT_EQ(label("general_sources"),
              QStringLiteral("19 pictures: 11 in the markup, 5 added by scripts, 2 only in style "
                             "sheets, 1 lazy placeholder"));
    EXPECT_TRUE(label("mediaLazyStatus").startsWith(QStringLiteral("Scrolled to the end in ")));
    // The three gallery pictures and the native lazy one at least, and every
    // other one the list did not show before.
    const qsizetype more = (shownNow() - shownBefore).size();
    EXPECT_GE(more, 4);
    EXPECT_TRUE(
        label("mediaLazyStatus").endsWith(QStringLiteral("; %1 more pictures shown").arg(more)))
        << label("mediaLazyStatus").toStdString();
    // The served markup of the same page was not read again.
    EXPECT_LE(site.server().requests().count(QStringLiteral("/walk.html")), pageRequests + 1);
    EXPECT_EQ(button->text(), QStringLiteral("Load La&zy Pictures"));
}

// The served markup alone: from the engine's cache when it has it.
class ServedMarkupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        server = std::make_unique<testsupport::HttpServer>(root.path());
        ASSERT_TRUE(server->start());
        profile = std::make_unique<QWebEngineProfile>();
        page = new QWebEnginePage(profile.get());
    }
    void TearDown() override
    {
        server->releaseRoute(QStringLiteral("/held.html"));
        delete page;
        profile.reset();
    }
    Inventory read(const QUrl &address, int timeoutMs = 30000, QWebEnginePage *live = nullptr,
                   QString *from = nullptr)
    {
        ServedMarkup served(profile.get());
        served.setTimeout(timeoutMs);
        QSignalSpy finished(&served, &ServedMarkup::finished);
        served.start(address, live);
        if (finished.isEmpty()) {
            EXPECT_TRUE(finished.wait(timeoutMs + 10000));
        }
        EXPECT_EQ(finished.count(), 1);
        if (from)
            *from = served.markupFrom();
        return finished.isEmpty() ? Inventory() : finished.first().first().value<Inventory>();
    }
    void load(const char *path)
    {
        QSignalSpy loaded(page, &QWebEnginePage::loadFinished);
        page->load(server->url(QString::fromUtf8(path)));
        ASSERT_TRUE(loaded.wait(30000));
    }

    QTemporaryDir root;
    std::unique_ptr<testsupport::HttpServer> server;
    std::unique_ptr<QWebEngineProfile> profile;
    QWebEnginePage *page = nullptr;
};

// Its script adds a picture, and would answer any fetch of the page's own with
// other markup.
const char kSmallPage[] = R"html(<!DOCTYPE html><html><head><title>t</title></head><body>
<img src="/a.png" alt="a"><script>document.body.appendChild(new Image()).src = '/b.png';
window.fetch = function () { return Promise.resolve(new Response('<img src="/evil.png">')); };
TextDecoder.prototype.decode = function () { return '<img src="/evil.png">'; };</script>
<noscript><img src="/c.png" alt="c"></noscript></body></html>)html";

TEST_F(ServedMarkupTest, ComesFromTheCacheAndIsFetchedAgainOnlyWhenNotThere)
{
    server->setRoute(QStringLiteral("/cached.html"), kSmallPage);
    server->setRouteCacheable(QStringLiteral("/cached.html"), 3600);
    server->setRoute(QStringLiteral("/fresh.html"), kSmallPage);
    const struct {
        const char *path;
        bool live;    // the live page at that address is at hand
        int requests; // of the page, once its served markup is read
        const char *from;
    } cases[] = {
        {"/cached.html", true, 1, "cache"},
        {"/cached.html", false, 1, "source view"},
        {"/fresh.html", true, 2, "source view"},
        {"/fresh.html", false, 2, "source view"},
    };
    for (const auto &c : cases) {
        const int before = int(server->requests().count(QString::fromUtf8(c.path)));
        load(c.path);
        QString from;
        const Inventory served =
            read(server->url(QString::fromUtf8(c.path)), 30000, c.live ? page : nullptr, &from);
        ASSERT_TRUE(served.valid) << served.error.toStdString();
        EXPECT_EQ(server->requests().count(QString::fromUtf8(c.path)) - before, c.requests)
            << c.path << c.live;
        EXPECT_EQ(from, QString::fromUtf8(c.from)) << c.path << c.live;
        QStringList addresses;
        for (const InventoryEntry &e : served.pictures)
            addresses.append(QUrl(e.address).path());
        // As a browser without scripts reads it: the script's picture is not
        // there, the one in <noscript> is, and was not fetched.
        EXPECT_EQ(addresses, (QStringList{QStringLiteral("/a.png"), QStringLiteral("/c.png")}));
        EXPECT_FALSE(server->requests().contains(QStringLiteral("/c.png")));
    }
}

TEST_F(ServedMarkupTest, ALocalPageIsReadFromItsFile)
{
    const QString path = root.filePath(QStringLiteral("local.html"));
    ASSERT_TRUE(testsupport::writeFile(path, kSmallPage));
    QString from;
    const Inventory served = read(QUrl::fromLocalFile(path), 30000, nullptr, &from);
    ASSERT_TRUE(served.valid) << served.error.toStdString();
    EXPECT_EQ(from, QStringLiteral("file"));
    QStringList names;
    for (const InventoryEntry &e : served.pictures)
        names.append(QUrl(e.address).fileName());
    EXPECT_EQ(names, (QStringList{QStringLiteral("a.png"), QStringLiteral("c.png")}));
}

TEST_F(ServedMarkupTest, AnAddressWithoutSourceOrAnswerSaysWhy)
{
    server->holdRoute(QStringLiteral("/held.html"));
    const struct {
        QUrl address;
        int timeoutMs;
        const char *why;
    } cases[] = {
        {QUrl(QStringLiteral("quarrow://source/1")), 30000, "the engine shows no source"},
        {QUrl(QStringLiteral("about:blank")), 30000, "the engine shows no source"},
        {server->url(QStringLiteral("/held.html")), 1500, "no answer from the web engine within"},
    };
    for (const auto &c : cases) {
        const Inventory served = read(c.address, c.timeoutMs);
        EXPECT_FALSE(served.valid);
        EXPECT_TRUE(served.error.startsWith(QString::fromUtf8(c.why)))
            << served.error.toStdString();
    }
}

} // namespace
