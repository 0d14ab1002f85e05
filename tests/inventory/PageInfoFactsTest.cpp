// What the Page Info window says of each picture comes from its answer: a
// real server that answers 404, the wrong type, no extension, and a slow
// answer that the test releases.

#include "tests/inventory/OffscreenViewTest.h"
#include "windows/MediaModels.h"
#include "windows/MediaSaver.h"
#include "windows/PageInfoWindow.h"
#include "windows/PictureFetcher.h"

#include "tests/inventory/InventorySite.h"
#include "tests/support/Eventually.h"
#include "tests/support/HttpServer.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolButton>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QString Product = QStringLiteral("QuarrowPageInfoFactsTest");

// An SVG as drawing programs write them: a long comment first, sizes in
// percent and no viewBox. Its blue mark lies beyond the first 48 pixels.
const char kDrawing[] = R"svg(<?xml version="1.0" encoding="UTF-8" standalone="no"?>
<!-- Created with a drawing program that writes a long comment first, longer than the first
     sixty-four bytes of the file, so that only a reader that looks further finds the svg -->
<svg xmlns="http://www.w3.org/2000/svg" width="100%" height="100%">
  <rect x="0" y="0" width="300" height="150" fill="#c00"/>
  <rect x="250" y="110" width="50" height="40" fill="#00c"/>
</svg>
)svg";

const char kPage[] = R"html(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Facts</title>
<link rel="icon" href="/favicon.ico">
</head><body>
<img src="/pics/drawing" alt="drawing" width="30" height="15">
<img src="/pics/photo" alt="photo">
<img src="/pics/liar.png" alt="liar">
<img src="/pics/wrong.gif" alt="wrong">
<img src="/pics/gone.png" alt="gone">
<img src="/pics/forbidden.png" alt="forbidden">
<img src="/pics/a.png" srcset="/pics/a.png 1x, /pics/a-2x.png 2x" alt="a">
<div style="background-image: url(/pics/bg); width: 7px; height: 5px"></div>
<div style="background-image: url(/pics/slow.png); width: 4px; height: 4px"></div>
<div class="share" data-src="/share/page">share</div>
<p><a href="/wiki/File:W.svg">W</a> <a href="/about.html" target="_blank">About us</a>
<a href="/contact.html">Contact</a> <a href="/pics/photo">the photo</a></p>
</body></html>
)html";

class PageInfoFacts : public OffscreenViewTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(saveFolder.isValid());
        server = std::make_unique<testsupport::HttpServer>(root.path());
        ASSERT_TRUE(server->start());
        server->setRoute(QStringLiteral("/facts.html"), kPage);
        server->setRoute(QStringLiteral("/pics/drawing"), kDrawing, "image/svg+xml");
        server->setRoute(QStringLiteral("/pics/photo"), InventorySite::pngBytes(8, 6), "image/png");
        server->setRoute(QStringLiteral("/pics/liar.png"),
                         "<!DOCTYPE html><html><body>Sign in first</body></html>", "text/html");
        server->setRoute(QStringLiteral("/pics/wrong.gif"), InventorySite::pngBytes(3, 3),
                         "image/gif");
        server->setRoute(QStringLiteral("/pics/forbidden.png"), InventorySite::pngBytes(2, 2),
                         "image/png");
        server->setRouteStatus(QStringLiteral("/pics/forbidden.png"), "403 Forbidden");
        server->setRoute(QStringLiteral("/pics/a.png"), InventorySite::pngBytes(4, 4), "image/png");
        server->setRoute(QStringLiteral("/pics/a-2x.png"), InventorySite::pngBytes(8, 8),
                         "image/png");
        server->setRoute(QStringLiteral("/pics/bg"), InventorySite::pngBytes(7, 5), "image/png");
        server->setRoute(QStringLiteral("/pics/slow.png"), InventorySite::pngBytes(40, 40),
                         "image/png");
        server->setRoute(QStringLiteral("/share/page"),
                         "<!DOCTYPE html><html><body>Share this page</body></html>");
        server->setRoute(QStringLiteral("/wiki/File:W.svg"),
                         "<!DOCTYPE html><html><body>File page</body></html>");

        openView();
        QSignalSpy loaded(page, &QWebEnginePage::loadFinished);
        page->load(server->url(QStringLiteral("/facts.html")));
        ASSERT_TRUE(loaded.wait(30000));
        // From now on the slow picture keeps the window waiting, until released.
        server->holdRoute(QStringLiteral("/pics/slow.png"));
        bool done = false;
        PageInventory::collect(page, [&](const Inventory &result) {
            inventory = result;
            done = true;
        });
        QUARROW_WAIT_UNTIL(done, 20000);
        ASSERT_TRUE(inventory.valid) << inventory.error.toStdString();
        window = new PageInfoWindow(profile.get(), Product);
        QObject::connect(window, &PageInfoWindow::saveFinished, [this] { ++saves; });
        QSignalSpy shown(window.data(), &PageInfoWindow::inventoryShown);
        window->setInventory(inventory);
        window->show();
        ASSERT_TRUE(shown.count() > 0 || shown.wait(20000));
    }
    void TearDown() override
    {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<QMessageBox *>(widget))
                widget->close();
        }
        server->releaseRoute(QStringLiteral("/pics/slow.png"));
        delete window.data();
        closeView();
    }

    QString url(const char *path) const { return server->urlText(QString::fromUtf8(path)); }
    MediaModel *model() const { return window->mediaModel(); }

    int rowOf(const char *path) const
    {
        const QString address = url(path);
        for (int row = 0; row < model()->rowCount(); ++row) {
            if (model()->entry(row).address == address)
                return row;
        }
        return -1;
    }
    QString cell(const char *path, int column) const
    {
        const int row = rowOf(path);
        return row < 0 ? QStringLiteral("(no row)") : model()->index(row, column).data().toString();
    }
    // Every row but the slow one has its answer.
    bool answeredButSlow() const
    {
        for (int row = 0; row < model()->rowCount(); ++row) {
            if (model()->entry(row).address != url("/pics/slow.png") &&
                !model()->answer(row).answered())
                return false;
        }
        return model()->rowCount() > 0;
    }
    bool answered(const char *path) const
    {
        const int row = rowOf(path);
        return row >= 0 && model()->answer(row).answered();
    }
    QStringList shownPaths() const
    {
        QStringList out;
        MediaFilter *filter = window->mediaFilter();
        for (int row = 0; row < filter->rowCount(); ++row)
            out.append(QUrl(filter->index(row, MediaModel::Address)
                                .data(MediaModel::AddressRole)
                                .toString())
                           .path());
        return out;
    }
    QString label(const char *name) const
    {
        auto *found = window->findChild<QLabel *>(QString::fromUtf8(name));
        return found ? found->text() : QStringLiteral("(no label)");
    }
    void selectOnly(const char *path)
    {
        const QModelIndex index =
            window->mediaFilter()->mapFromSource(model()->index(rowOf(path), MediaModel::Address));
        ASSERT_TRUE(index.isValid()) << path;
        window->mediaTable()->selectionModel()->setCurrentIndex(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }

    QTemporaryDir root;
    QTemporaryDir saveFolder;
    std::unique_ptr<testsupport::HttpServer> server;
    Inventory inventory;
    QPointer<PageInfoWindow> window;
    int saves = 0;
};

TEST_F(PageInfoFacts, EachRowSaysWhatItsAddressAnsweredWithoutBeingSelected)
{
    EXPECT_EVENTUALLY(answeredButSlow(), 30000);
    const QString broken = QStringLiteral("broken");
    const QString none = QStringLiteral("not a picture");
    const QString fine;
    const struct {
        const char *path;
        const char *type;
        const char *dimensions; // or why there are none
        QString state;
    } cases[] = {
        {"/favicon.ico", "HTML", "404 Not Found", broken},
        {"/pics/gone.png", "HTML", "404 Not Found", broken},
        {"/pics/forbidden.png", "PNG", "403 Forbidden", broken},
        {"/pics/liar.png", "HTML", "not an image: text/html", broken},
        // The bytes tell the type, whatever the server or the name says.
        {"/pics/wrong.gif", "PNG", "3 \u00d7 3", fine},
        {"/pics/drawing", "SVG", "300 \u00d7 150", fine},
        {"/pics/photo", "PNG", "8 \u00d7 6", fine},
        // Not an img: dimensions from the decoded picture all the same.
        {"/pics/bg", "PNG", "7 \u00d7 5", fine},
        // Candidates that answer with a page are no pictures.
        {"/share/page", "HTML", "not a picture", none},
        {"/wiki/File:W.svg", "HTML", "not a picture", none},
    };
    for (const auto &c : cases) {
        const int row = rowOf(c.path);
        ASSERT_GE(row, 0) << c.path;
        EXPECT_EQ(cell(c.path, MediaModel::Type), QString::fromUtf8(c.type)) << c.path;
        EXPECT_EQ(cell(c.path, MediaModel::Dimensions), QString::fromUtf8(c.dimensions)) << c.path;
        EXPECT_EQ(model()->broken(row), c.state == broken) << c.path;
        EXPECT_EQ(model()->notPicture(row), c.state == none) << c.path;
        const QVariant colour = model()->index(row, MediaModel::Address).data(Qt::ForegroundRole);
        EXPECT_EQ(colour.isValid(), !c.state.isEmpty()) << c.path;
    }
    EXPECT_EQ(model()->answer(rowOf("/favicon.ico")).status, 404);
    EXPECT_EQ(model()->answer(rowOf("/pics/wrong.gif")).contentType, QStringLiteral("image/gif"));

    // "Broken" lists the broken ones; the rows that are no pictures show only
    // with everything, and are not counted as pictures.
    auto *types = window->findChild<QComboBox *>(QStringLiteral("mediaTypeFilter"));
    ASSERT_NE(types, nullptr);
    EXPECT_EVENTUALLY(types->findData(MediaFilter::brokenType()) >= 0, 10000);
    types->setCurrentIndex(types->findData(MediaFilter::brokenType()));
    QStringList brokenShown = shownPaths();
    brokenShown.sort();
    EXPECT_EQ(brokenShown, QStringList({"/favicon.ico", "/pics/forbidden.png", "/pics/gone.png",
                                        "/pics/liar.png"}));
    types->setCurrentIndex(0);
    EXPECT_FALSE(shownPaths().contains(QStringLiteral("/share/page")));
    EXPECT_FALSE(shownPaths().contains(QStringLiteral("/wiki/File:W.svg")));
    const int pictures = window->pictureCount();
    EXPECT_EQ(pictures, model()->rowCount() - 2);
    EXPECT_EQ(label("mediaCount"), QStringLiteral("%1 pictures").arg(pictures));
    auto *everything = window->findChild<QCheckBox *>(QStringLiteral("mediaShowEverything"));
    ASSERT_NE(everything, nullptr);
    everything->setChecked(true);
    EXPECT_TRUE(shownPaths().contains(QStringLiteral("/share/page")));
    EXPECT_TRUE(shownPaths().contains(QStringLiteral("/wiki/File:W.svg")));
    EXPECT_EQ(label("mediaCount"), QStringLiteral("%1 pictures, 2 not pictures").arg(pictures));
    everything->setChecked(false);

    // The preview says why too.
    selectOnly("/favicon.ico");
    EXPECT_EQ(label("mediaPreview"), QStringLiteral("This picture is broken: 404 Not Found."));
    EXPECT_TRUE(label("mediaFacts").contains(QStringLiteral("Status: 404 Not Found")))
        << label("mediaFacts").toStdString();
    selectOnly("/pics/wrong.gif");
    EXPECT_TRUE(
        label("mediaFacts").contains(QStringLiteral("Type: image/png (the server says image/gif)")))
        << label("mediaFacts").toStdString();

    // And the exports.
    window->mediaFilter()->setShowEverything(true);
    const QString json = saveFolder.filePath(QStringLiteral("list.json"));
    ASSERT_TRUE(window->exportTo(json));
    QHash<QString, QJsonObject> byPath;
    for (const QJsonValue &value : QJsonDocument::fromJson(testsupport::readFile(json))
                                       .object()
                                       .value(QStringLiteral("pictures"))
                                       .toArray())
        byPath.insert(QUrl(value.toObject().value(QStringLiteral("address")).toString()).path(),
                      value.toObject());
    const QJsonObject icon = byPath.value(QStringLiteral("/favicon.ico"));
    EXPECT_TRUE(icon.value(QStringLiteral("failed")).toBool());
    EXPECT_EQ(icon.value(QStringLiteral("status")).toInt(), 404);
    EXPECT_EQ(icon.value(QStringLiteral("problem")).toString(), QStringLiteral("404 Not Found"));
    EXPECT_EQ(icon.value(QStringLiteral("type")).toString(), QStringLiteral("text/html"));
    const QJsonObject drawing = byPath.value(QStringLiteral("/pics/drawing"));
    EXPECT_FALSE(drawing.value(QStringLiteral("failed")).toBool());
    EXPECT_EQ(drawing.value(QStringLiteral("status")).toInt(), 200);
    EXPECT_EQ(drawing.value(QStringLiteral("type")).toString(), QStringLiteral("image/svg+xml"));
    EXPECT_TRUE(
        byPath.value(QStringLiteral("/share/page")).value(QStringLiteral("notPicture")).toBool());
    const QString csv = saveFolder.filePath(QStringLiteral("list.csv"));
    ASSERT_TRUE(window->exportTo(csv));
    bool iconLine = false;
    for (const QByteArray &line : testsupport::readFile(csv).split('\n')) {
        if (line.startsWith(url("/favicon.ico").toUtf8() + ',')) {
            iconLine = true;
            EXPECT_TRUE(line.contains(",true,404,404 Not Found,")) << line.constData();
        }
    }
    EXPECT_TRUE(iconLine);
}

TEST_F(PageInfoFacts, DimensionsSortingAndTheSizeFilterFollowASlowAnswer)
{
    window->mediaTable()->sortByColumn(MediaModel::Dimensions, Qt::DescendingOrder);
    window->findChild<QSpinBox *>(QStringLiteral("mediaMinimumSide"))->setValue(20);
    // Every other answer is in; the slow one is still held.
    EXPECT_EVENTUALLY(answeredButSlow(), 30000);
    EXPECT_FALSE(answered("/pics/slow.png"));
    EXPECT_EQ(cell("/pics/slow.png", MediaModel::Dimensions), QString());
    EXPECT_EQ(shownPaths(), QStringList({"/pics/drawing"}));
    window->findChild<QSpinBox *>(QStringLiteral("mediaMinimumSide"))->setValue(0);
    const QStringList before = shownPaths();
    EXPECT_GT(before.indexOf(QStringLiteral("/pics/slow.png")),
              before.indexOf(QStringLiteral("/pics/photo")));
    window->findChild<QSpinBox *>(QStringLiteral("mediaMinimumSide"))->setValue(20);

    server->releaseRoute(QStringLiteral("/pics/slow.png"));
    EXPECT_EVENTUALLY(answered("/pics/slow.png"), 30000);
    EXPECT_EQ(cell("/pics/slow.png", MediaModel::Dimensions), QStringLiteral("40 \u00d7 40"));
    EXPECT_EQ(shownPaths(), QStringList({"/pics/drawing", "/pics/slow.png"}));
    window->findChild<QSpinBox *>(QStringLiteral("mediaMinimumSide"))->setValue(0);
    const QStringList after = shownPaths();
    EXPECT_LT(after.indexOf(QStringLiteral("/pics/slow.png")),
              after.indexOf(QStringLiteral("/pics/photo")));
}

TEST_F(PageInfoFacts, GeneralMediaSaveAllAndTheSummaryCountTheSamePictures)
{
    server->releaseRoute(QStringLiteral("/pics/slow.png"));
    EXPECT_EVENTUALLY(answeredButSlow() && answered("/pics/slow.png"), 30000);
    const int pictures = window->pictureCount();
    // The srcset variant is no picture of its own, and the two rows that are
    // no pictures are not counted.
    EXPECT_EQ(pictures, 10);
    EXPECT_EVENTUALLY_EQ(label("general_pictures"), QString::number(pictures), 10000);
    EXPECT_EVENTUALLY_EQ(label("mediaCount"), QStringLiteral("%1 pictures").arg(pictures), 10000);

    auto *progress = window->findChild<QProgressBar *>(QStringLiteral("mediaSaveProgress"));
    ASSERT_NE(progress, nullptr);
    window->saveAll(saveFolder.path());
    EXPECT_EQ(progress->maximum(), pictures);
    EXPECT_EVENTUALLY(saves > 0, 60000);
    const SaveSummary summary = window->lastSummary();
    EXPECT_EQ(summary.pictures, pictures);
    EXPECT_EQ(summary.savedFiles.size() + summary.skipped.size() + summary.failed.size(), pictures)
        << summary.details().toStdString();
    EXPECT_EQ(summary.failed.size(), 4) << summary.details().toStdString();
    EXPECT_TRUE(summary.text().startsWith(QStringLiteral("Saved 6 pictures (and 1 variant) to ")))
        << summary.text().toStdString();
    EXPECT_TRUE(summary.text().contains(QStringLiteral(" 4 failed.")))
        << summary.text().toStdString();

    // Saved under the extension of what they are.
    const QStringList files = QDir(saveFolder.path()).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(files, QStringList({"a-2x.png", "a.png", "bg.png", "drawing.svg", "photo.png",
                                  "slow.png", "wrong.png"}));
    EXPECT_EQ(testsupport::readFile(saveFolder.filePath(QStringLiteral("drawing.svg"))),
              QByteArray(kDrawing));
}

TEST_F(PageInfoFacts, TheSelectionSurvivesTheGridAndASingleRowLeftIsSelected)
{
    window->tabs()->setCurrentIndex(1);
    auto *grid = window->findChild<QToolButton *>(QStringLiteral("mediaGridToggle"));
    ASSERT_NE(grid, nullptr);
    QItemSelectionModel *selection = window->mediaTable()->selectionModel();
    selection->clearSelection();
    for (const char *path : {"/pics/photo", "/pics/bg"}) {
        const QModelIndex index =
            window->mediaFilter()->mapFromSource(model()->index(rowOf(path), MediaModel::Address));
        selection->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        selection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    }
    const QStringList chosen = {url("/pics/photo"), url("/pics/bg")};
    EXPECT_EQ(window->selectedAddresses(), chosen);
    grid->click();
    ASSERT_TRUE(window->mediaGrid()->isVisible());
    EXPECT_EQ(window->selectedAddresses(), chosen);
    EXPECT_EQ(window->mediaGrid()->selectionModel()->selectedRows().size(), 2);
    // A picture picked in the grid is the table's too.
    window->mediaGrid()->selectionModel()->setCurrentIndex(
        window->mediaGrid()->model()->index(0, MediaModel::Preview),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    const QStringList picked = window->selectedAddresses();
    ASSERT_EQ(picked.size(), 1);
    grid->click();
    ASSERT_TRUE(window->mediaTable()->isVisible());
    EXPECT_EQ(window->selectedAddresses(), picked);

    // A filter that leaves one row selects it, and the buttons act on it.
    selection->clearSelection();
    window->findChild<QLineEdit *>(QStringLiteral("mediaFilterText"))
        ->setText(QStringLiteral("photo"));
    EXPECT_EQ(window->selectedAddresses(), QStringList({url("/pics/photo")}));
    for (const char *button : {"mediaSaveSelected", "mediaCopy", "mediaOpen"})
        EXPECT_TRUE(window->findChild<QPushButton *>(QString::fromUtf8(button))->isEnabled())
            << button;
    EXPECT_EQ(label("mediaCount"), QStringLiteral("1 of %1 pictures").arg(window->pictureCount()));
}

TEST_F(PageInfoFacts, CountsAreSingularOrPlural)
{
    const auto pictures = [this](int count) {
        Inventory small;
        small.valid = true;
        small.pageAddress = url("/facts.html");
        for (int i = 0; i < count; ++i) {
            InventoryEntry entry;
            entry.address = InventorySite::gifDataAddress() + QStringLiteral("#%1").arg(i);
            entry.displayAddress = entry.address;
            entry.kinds = {QStringLiteral("img")};
            entry.altText = QStringLiteral("picture %1").arg(i);
            small.pictures.append(entry);
        }
        small.links = {{QStringLiteral("one"), url("/one.html"), QString(), false}};
        return small;
    };
    const struct {
        int pictures;
        const char *filter;
        const char *count;
    } cases[] = {
        {0, "", "0 pictures"},
        {1, "", "1 picture"},
        {3, "", "3 pictures"},
        {3, "picture 1", "1 of 3 pictures"},
        {3, "none such", "0 of 3 pictures"},
        {1, "none such", "0 of 1 picture"},
    };
    auto *text = window->findChild<QLineEdit *>(QStringLiteral("mediaFilterText"));
    for (const auto &c : cases) {
        text->clear();
        QSignalSpy shown(window.data(), &PageInfoWindow::inventoryShown);
        window->setInventory(pictures(c.pictures));
        ASSERT_TRUE(shown.count() > 0 || shown.wait(10000));
        text->setText(QString::fromUtf8(c.filter));
        EXPECT_EQ(label("mediaCount"), QString::fromUtf8(c.count)) << c.pictures << c.filter;
        EXPECT_EQ(label("linksCount"), QStringLiteral("1 link"));
    }
}

TEST_F(PageInfoFacts, TheColumnsFitTheWindowAtItsFirstSize)
{
    // A window of its own first size.
    QPointer<PageInfoWindow> fresh = new PageInfoWindow(profile.get(), QString());
    fresh->setInventory(inventory);
    fresh->show();
    fresh->tabs()->setCurrentIndex(1);
    QTableView *table = fresh->mediaTable();
    EXPECT_EVENTUALLY(table->isVisible() && table->viewport()->width() > 0, 10000);
    EXPECT_LE(table->horizontalHeader()->length(), table->viewport()->width());
    EXPECT_FALSE(table->horizontalScrollBar()->isVisible());
    delete fresh.data();
}

TEST_F(PageInfoFacts, TheLinksTabFiltersCountsCopiesAndExports)
{
    window->tabs()->setCurrentIndex(2);
    EXPECT_EQ(label("linksCount"), QStringLiteral("4 links"));
    auto *text = window->findChild<QLineEdit *>(QStringLiteral("linksFilterText"));
    ASSERT_NE(text, nullptr);
    const struct {
        const char *filter;
        const char *count;
    } cases[] = {
        {"about", "1 of 4 links"},        // its text
        {"CONTACT.HTML", "1 of 4 links"}, // its address
        {"_blank", "1 of 4 links"},       // its target
        {"/pics/", "1 of 4 links"},       {"nothing like it", "0 of 4 links"}, {"", "4 links"},
    };
    for (const auto &c : cases) {
        text->setText(QString::fromUtf8(c.filter));
        EXPECT_EQ(label("linksCount"), QString::fromUtf8(c.count)) << c.filter;
    }
    auto *copy = window->findChild<QPushButton *>(QStringLiteral("linksCopy"));
    ASSERT_NE(copy, nullptr);
    EXPECT_FALSE(copy->isEnabled());
    text->setText(QStringLiteral("o"));
    QTableView *links = window->linksTable();
    links->selectAll();
    EXPECT_TRUE(copy->isEnabled());
    QApplication::clipboard()->clear();
    copy->click();
    const QStringList copied = QApplication::clipboard()->text().split(QLatin1Char('\n'));
    EXPECT_EQ(copied.size(), window->linksFilter()->rowCount());
    EXPECT_TRUE(copied.contains(url("/about.html")));

    // A link named like a picture that answers with a page leads to none.
    EXPECT_EVENTUALLY(answered("/wiki/File:W.svg"), 30000);
    text->setText(QStringLiteral("File:W.svg"));
    ASSERT_EQ(window->linksFilter()->rowCount(), 1);
    EXPECT_EQ(window->linksFilter()->index(0, LinksModel::Picture).data().toString(),
              QStringLiteral("Not a picture"));
    const QString file = saveFolder.filePath(QStringLiteral("file.csv"));
    ASSERT_TRUE(window->exportLinksTo(file));
    EXPECT_TRUE(testsupport::readFile(file).endsWith(",false\r\n"))
        << testsupport::readFile(file).constData();

    text->setText(QStringLiteral("about"));
    const QString csv = saveFolder.filePath(QStringLiteral("links.csv"));
    const QString json = saveFolder.filePath(QStringLiteral("links.json"));
    ASSERT_TRUE(window->exportLinksTo(csv));
    ASSERT_TRUE(window->exportLinksTo(json));
    EXPECT_EQ(testsupport::readFile(csv), "text,address,target,picture\r\nAbout us," +
                                              url("/about.html").toUtf8() + ",_blank,false\r\n");
    const QJsonArray list = QJsonDocument::fromJson(testsupport::readFile(json))
                                .object()
                                .value(QStringLiteral("links"))
                                .toArray();
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list.at(0).toObject().value(QStringLiteral("address")).toString(),
              url("/about.html"));
}

TEST_F(PageInfoFacts, GeneralGivesTheMimeTypeTheDocumentTypeAndAnIsoDate)
{
    EXPECT_EQ(label("general_type"), QStringLiteral("text/html"));
    EXPECT_EQ(label("general_doctype"), QStringLiteral("<!DOCTYPE html>"));
    // Without a Last-Modified the engine gives the time of the load.
    const QString modified = label("general_modified");
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d [+-]\d\d:\d\d$)"))
            .match(modified)
            .hasMatch())
        << modified.toStdString();
    const QDateTime when = QDateTime::fromString(modified.left(19), "yyyy-MM-dd HH:mm:ss");
    EXPECT_LT(std::abs(when.secsTo(QDateTime::currentDateTime())), 600);
}

// ---------------------------------------------------------------------------
// The parts that need no page.

TEST(PageInfoDates, EngineDatesBecomeIsoWithTheirZone)
{
    const auto zone = [](const QDateTime &when) {
        const int offset = when.offsetFromUtc();
        return QStringLiteral("%1%2:%3")
            .arg(offset < 0 ? '-' : '+')
            .arg(std::abs(offset) / 3600, 2, 10, QLatin1Char('0'))
            .arg(std::abs(offset) % 3600 / 60, 2, 10, QLatin1Char('0'));
    };
    const QDateTime december(QDate(2026, 12, 9), QTime(2, 33, 32));
    const QDateTime july(QDate(2026, 7, 1), QTime(23, 0, 5));
    const struct {
        const char *engine;
        QString iso;
    } cases[] = {
        {"12/09/2026 02:33:32", "2026-12-09 02:33:32 " + zone(december)},
        {"07/01/2026 23:00:05", "2026-07-01 23:00:05 " + zone(july)},
        {"", ""},
        {"yesterday", "yesterday"},
        {"31/12/2026 00:00:00", "31/12/2026 00:00:00"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(PageInfoWindow::isoDate(QString::fromUtf8(c.engine)), c.iso) << c.engine;
}

TEST(SvgDrawing, AnSvgIsDrawnAtTheSizeABrowserGivesIt)
{
    const auto svg = [](const char *attributes) {
        return QByteArray("<svg xmlns='http://www.w3.org/2000/svg' ") + attributes +
               "><rect width='300' height='150' fill='#c00'/>"
               "<rect x='250' y='110' width='50' height='40' fill='#00c'/></svg>";
    };
    const struct {
        const char *attributes;
        QSize natural;
    } cases[] = {
        {"width='100%' height='100%'", QSize(300, 150)},
        {"", QSize(300, 150)},
        {"width='120' height='50%'", QSize(120, 150)},
        {"width='64' height='32'", QSize(64, 32)},
        // A viewBox gives the picture its shape: the engine's own size.
        {"width='100%' height='100%' viewBox='0 0 600 300'", QSize(600, 300)},
    };
    for (const auto &c : cases) {
        QSize natural;
        QString problem;
        const QImage image = PictureFetcher::decodePicture(svg(c.attributes), QSize(600, 600), {},
                                                           &natural, &problem);
        EXPECT_EQ(natural, c.natural) << c.attributes << problem.toStdString();
        ASSERT_FALSE(image.isNull()) << c.attributes;
    }
    // Drawn whole, not a crop of its corner: the mark at its far corner shows.
    QSize natural;
    QString problem;
    const QImage whole = PictureFetcher::decodePicture(svg("width='100%' height='100%'"),
                                                       QSize(300, 300), {}, &natural, &problem);
    ASSERT_EQ(whole.size(), QSize(300, 150));
    EXPECT_EQ(QColor(whole.pixel(290, 140)), QColor(0, 0, 0xcc));
    EXPECT_EQ(QColor(whole.pixel(10, 10)), QColor(0xcc, 0, 0));
}

TEST(SavedNames, TheBytesGiveTheExtension)
{
    // The server and the name say one thing, the bytes another.
    const struct {
        const char *name;
        QByteArray bytes;
        const char *saved;
    } cases[] = {
        {"drawing", kDrawing, "drawing.svg"},
        {"photo", InventorySite::pngBytes(2, 2), "photo.png"},
        {"wrong.gif", InventorySite::pngBytes(2, 2), "wrong.png"},
        {"page", "<!DOCTYPE html><p>hi</p>", "page"},
    };
    QTemporaryDir folder;
    QTemporaryDir site;
    testsupport::HttpServer server(site.path());
    ASSERT_TRUE(server.start());
    QList<MediaSaver::Item> items;
    for (const auto &c : cases) {
        const QString path = QStringLiteral("/") + QString::fromUtf8(c.name);
        server.setRoute(path, c.bytes, "application/octet-stream");
        items.append({server.urlText(path), QString::fromUtf8(c.name)});
    }
    QWebEngineProfile profile;
    MediaSaver saver(&profile);
    QSignalSpy finished(&saver, &MediaSaver::finished);
    saver.start(items, folder.path(), server.url(QStringLiteral("/index.html")), false);
    EXPECT_EVENTUALLY(!finished.isEmpty(), 60000);
    QStringList expected;
    for (const auto &c : cases)
        expected.append(QString::fromUtf8(c.saved));
    expected.sort();
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files, QDir::Name), expected);
}

} // namespace
