#include "windows/PageInfoWindow.h"
#include "tests/inventory/OffscreenViewTest.h"
#include "windows/MediaModels.h"
#include "windows/MediaSaver.h"
#include "windows/PictureFetcher.h"

#include "tests/inventory/InventorySite.h"
#include "tests/support/Eventually.h"
#include "tests/support/TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QItemSelectionModel>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTimer>
#include <QToolTip>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

const QString Product = QStringLiteral("QuarrowPageInfoTest");

// A FIFO that tells whether anything opened it to read. A reader would block
// until a writer comes, so a thread waits as the writer and notes whether a
// reader came before the test let it go; a reader gets an empty file.
class FifoWatch {
public:
    explicit FifoWatch(const QString &path) : m_path(QFile::encodeName(path))
    {
        if (::mkfifo(m_path.constData(), 0600) != 0)
            return;
        // Each reader gets an empty file at once, and the next one a writer again.
        m_thread = std::thread([this] {
            while (!m_released.load()) {
                const int fd = ::open(m_path.constData(), O_WRONLY);
                if (!m_released.load())
                    m_read = true;
                if (fd >= 0)
                    ::close(fd);
            }
        });
    }
    ~FifoWatch() { release(); }
    bool made() const { return m_thread.joinable(); }
    // Whether something opened it to read, so far.
    bool read()
    {
        release();
        return m_read;
    }

private:
    void release()
    {
        if (!m_thread.joinable())
            return;
        m_released = true;
        const int fd = ::open(m_path.constData(), O_RDONLY | O_NONBLOCK);
        m_thread.join();
        if (fd >= 0)
            ::close(fd);
    }

    QByteArray m_path;
    std::thread m_thread;
    std::atomic<bool> m_released{false};
    std::atomic<bool> m_read{false};
};

// Shows the tool tip of the row's cell as a hovering mouse would, and waits for it to show.
QString hoverToolTip(QTableView *table, const QModelIndex &index)
{
    table->scrollTo(index);
    const QPoint at = table->visualRect(index).center();
    QHelpEvent help(QEvent::ToolTip, at, table->viewport()->mapToGlobal(at));
    QApplication::sendEvent(table->viewport(), &help);
    QWidget *tip = nullptr;
    EXPECT_EVENTUALLY((tip =
                           [] {
                               for (QWidget *widget : QApplication::topLevelWidgets()) {
                                   if (widget->inherits("QTipLabel") && widget->isVisible())
                                       return widget;
                               }
                               return static_cast<QWidget *>(nullptr);
                           }()) != nullptr,
                      10000);
    if (!tip)
        return QString();
    // Drawn, with whatever it would have loaded.
    tip->repaint();
    return QToolTip::text();
}

// Clicks the button of the first question box that shows (bounded).
void answerQuestion(const QString &buttonText)
{
    auto *timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, buttonText] {
        for (QWidget *window : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<QMessageBox *>(window);
            if (!box || !box->isVisible() || box->objectName() == QLatin1String("saveSummary"))
                continue;
            for (QAbstractButton *button : box->buttons()) {
                if (button->text().remove(QLatin1Char('&')) == buttonText) {
                    timer->deleteLater();
                    timer->stop();
                    button->click();
                    return;
                }
            }
        }
        if (++*tries > 400) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(25);
}

// The test site loaded in an offscreen view, its inventory taken, and a
// Page Info window showing it. The windows go before the profile.
class PageInfoWindowTest : public OffscreenViewTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(site.start());
        ASSERT_TRUE(saveFolder.isValid());
        openView();
        QSignalSpy loaded(page, &QWebEnginePage::loadFinished);
        page->load(QUrl(site.url(QStringLiteral("/page.html"))));
        ASSERT_TRUE(loaded.wait(20000));
        // The picture the page's script adds after load is there too.
        QUARROW_WAIT_UNTIL(page->title() == QLatin1String("ready"), 20000);
        ASSERT_EQ(page->title(), QLatin1String("ready"));
        bool done = false;
        PageInventory::collect(page, [&](const Inventory &result) {
            inventory = result;
            done = true;
        });
        QUARROW_WAIT_UNTIL(done, 20000);
        ASSERT_TRUE(inventory.valid) << inventory.error.toStdString();
        window = new PageInfoWindow(profile.get(), Product);
        QObject::connect(window, &PageInfoWindow::saveFinished, [this] { ++saves; });
        window->setInventory(inventory);
        window->show();
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

    int rowOf(const QString &fileName) const
    {
        MediaModel *model = window->mediaModel();
        for (int row = 0; row < model->rowCount(); ++row) {
            if (model->entry(row).address.endsWith(QLatin1Char('/') + fileName))
                return row;
        }
        return -1;
    }

    void select(const QStringList &fileNames)
    {
        QTableView *table = window->mediaTable();
        table->clearSelection();
        for (const QString &name : fileNames) {
            const int row = rowOf(name);
            ASSERT_GE(row, 0) << name.toStdString();
            const QModelIndex index = window->mediaFilter()->mapFromSource(
                window->mediaModel()->index(row, MediaModel::Address));
            table->selectionModel()->select(index, QItemSelectionModel::Select |
                                                       QItemSelectionModel::Rows);
            table->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        }
    }

    // The summary of the next save to finish (it may have finished already).
    SaveSummary waitForSave()
    {
        EXPECT_EVENTUALLY(saves > savesSeen, 60000);
        savesSeen = saves;
        return window->lastSummary();
    }

    QStringList filesSaved() const
    {
        return QDir(saveFolder.path())
            .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

    QByteArray siteFile(const QString &path) const
    {
        QFile file(site.folder() + path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    InventorySite site;
    QTemporaryDir saveFolder;
    Inventory inventory;
    QPointer<PageInfoWindow> window;
    int saves = 0;
    int savesSeen = 0;
};

TEST_F(PageInfoWindowTest, ListsEveryPictureOnceWithCandidatesFoldedIntoTheirImage)
{
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Page Info - ") + inventory.title);
    MediaModel *model = window->mediaModel();
    // Every picture of the inventory stands in exactly one row.
    QList<int> seen;
    for (int row = 0; row < model->rowCount(); ++row)
        seen.append(model->entriesOfRow(row));
    std::sort(seen.begin(), seen.end());
    QList<int> all;
    for (int i = 0; i < inventory.pictures.size(); ++i)
        all.append(i);
    EXPECT_EQ(seen, all);
    // The 2x candidate of the logo is one of its variants, not a row.
    const int logo = rowOf(QStringLiteral("logo.png"));
    ASSERT_GE(logo, 0);
    EXPECT_EQ(rowOf(QStringLiteral("logo-2x.png")), -1);
    EXPECT_TRUE(model->index(logo, MediaModel::Kind)
                    .data()
                    .toString()
                    .contains(QStringLiteral("+1 variant")));
    // The lazy candidates fold into the lazy img's row as well.
    EXPECT_EQ(rowOf(QStringLiteral("lazy-s.jpg")), -1);
    EXPECT_GE(rowOf(QStringLiteral("added.png")), 0);

    const QString count = window->findChild<QLabel *>(QStringLiteral("mediaCount"))->text();
    EXPECT_EQ(count, QStringLiteral("%1 pictures").arg(window->pictureCount()));
    // The facts of a row as the table shows them.
    EXPECT_EQ(model->index(logo, MediaModel::Type).data().toString(), QStringLiteral("PNG"));
    EXPECT_EQ(model->index(logo, MediaModel::Dimensions).data().toString(),
              QStringLiteral("4 \u00d7 3"));
    EXPECT_EQ(model->index(logo, MediaModel::Alt).data().toString(), QStringLiteral("Logo"));
    // General and Links.
    EXPECT_EQ(window->findChild<QLabel *>(QStringLiteral("general_charset"))->text(),
              QStringLiteral("UTF-8"));
    EXPECT_EQ(window->findChild<QLabel *>(QStringLiteral("general_mode"))->text(),
              QStringLiteral("Standards mode"));
    // The cross-origin frame could not be entered, and the window says so.
    EXPECT_EQ(inventory.unreachableFrames, 1);
    EXPECT_EQ(window->findChild<QLabel *>(QStringLiteral("general_pictures"))->text(),
              QStringLiteral("%1; 1 frame from other sites not listed")
                  .arg(QLocale().toString(window->pictureCount())));
    EXPECT_EQ(window->linksModel()->rowCount(), inventory.links.size());
    EXPECT_EQ(window->findChild<QLabel *>(QStringLiteral("general_type"))->text(),
              QStringLiteral("text/html"));
    // The page's words are text: a document type (or a hostile title) is not markup.
    QLabel *type = window->findChild<QLabel *>(QStringLiteral("general_doctype"));
    EXPECT_EQ(type->text(), QStringLiteral("<!DOCTYPE html>"));
    EXPECT_EQ(type->textFormat(), Qt::PlainText);
    // The first picture is selected and previewed.
    EXPECT_EQ(window->selectedAddresses().size(), 1);
    EXPECT_EVENTUALLY(
        !window->findChild<QLabel *>(QStringLiteral("mediaPreview"))->pixmap().isNull(), 20000);
}

TEST_F(PageInfoWindowTest, FiltersNarrowTheListAndTheCountSaysSo)
{
    MediaFilter *filter = window->mediaFilter();
    const int all = window->mediaModel()->rowCount();
    auto shown = [&] {
        QStringList out;
        for (int row = 0; row < filter->rowCount(); ++row)
            out.append(
                filter->index(row, MediaModel::Address).data(MediaModel::AddressRole).toString());
        return out;
    };
    filter->setText(QStringLiteral("BTN"));
    EXPECT_EQ(shown().size(), 3) << shown().join(' ').toStdString();
    for (const QString &address : shown())
        EXPECT_TRUE(address.contains(QStringLiteral("btn")));
    // Alt text counts too.
    filter->setText(QStringLiteral("Narrow"));
    ASSERT_EQ(shown().size(), 1);
    EXPECT_TRUE(shown().constFirst().endsWith(QStringLiteral("/narrow.png")));
    filter->setText(QString());

    filter->setType(QStringLiteral("GIF"));
    EXPECT_GE(shown().size(), 5);
    for (int row = 0; row < filter->rowCount(); ++row)
        EXPECT_EQ(filter->index(row, MediaModel::Type).data().toString(), QStringLiteral("GIF"));
    filter->setType(QString());

    // At least 5 pixels each way: the 5×5 framed picture, not the 6×2 one nor unknown sizes.
    filter->setMinimumSide(5);
    const QStringList big = shown();
    EXPECT_FALSE(big.isEmpty());
    EXPECT_LT(big.size(), all);
    EXPECT_TRUE(big.contains(site.url(QStringLiteral("/other/f.png"))));
    EXPECT_FALSE(big.contains(site.url(QStringLiteral("/site/pics/narrow.png"))));
    filter->setMinimumSide(0);
    EXPECT_EQ(filter->rowCount(), all);
}

TEST_F(PageInfoWindowTest, SaveAllWritesEveryPictureTheServersHaveAndSaysWhatFailed)
{
    window->saveAll(saveFolder.path());
    EXPECT_TRUE(window->saving());
    const SaveSummary summary = waitForSave();
    EXPECT_FALSE(summary.cancelled);
    const QStringList files = filesSaved();
    // No part file is left behind.
    for (const QString &file : files)
        EXPECT_FALSE(file.endsWith(QLatin1String(".part"))) << file.toStdString();
    EXPECT_EQ(files.size(), summary.savedFiles.size() + summary.variantFiles.size());

    // Each row is a picture, saved with its variants and counted once.
    MediaModel *model = window->mediaModel();
    int expectSaved = 0;
    int expectVariants = 0;
    QStringList missing;
    QStringList missingVariants;
    for (int row = 0; row < model->rowCount(); ++row) {
        const QList<int> entries = model->entriesOfRow(row);
        for (const int index : entries) {
            const InventoryEntry &entry = inventory.pictures.at(index);
            const bool variant = index != entries.constFirst();
            const QUrl url(entry.address);
            const bool there = entry.address.startsWith(QLatin1String("data:")) ||
                               QFile::exists(site.folder() + url.path());
            if (!entry.address.startsWith(QLatin1String("data:"))) {
                ASSERT_EQ(url.port(), site.server().port()) << entry.address.toStdString();
            }
            if (there)
                ++(variant ? expectVariants : expectSaved);
            else
                (variant ? missingVariants : missing).append(entry.address);
        }
    }
    EXPECT_EQ(summary.pictures, model->rowCount());
    EXPECT_EQ(summary.savedFiles.size(), expectSaved);
    EXPECT_EQ(summary.variantFiles.size(), expectVariants);
    EXPECT_EQ(summary.failed.size(), missing.size());
    EXPECT_EQ(summary.variantsFailed.size(), missingVariants.size());
    for (const auto &[address, why] : summary.failed) {
        EXPECT_TRUE(missing.contains(address)) << address.toStdString();
        EXPECT_FALSE(why.isEmpty());
    }
    // The pictures as the server has them, under their own names.
    EXPECT_EQ(testsupport::readFile(saveFolder.filePath(QStringLiteral("logo.png"))),
              siteFile(QStringLiteral("/site/pics/logo.png")));
    EXPECT_EQ(testsupport::readFile(saveFolder.filePath(QStringLiteral("f.png"))),
              siteFile(QStringLiteral("/other/f.png")));
    EXPECT_EQ(testsupport::readFile(saveFolder.filePath(QStringLiteral("logo-2x.png"))),
              QByteArray())
        << "logo-2x.png is not on the server";
    // The data: picture, decoded.
    EXPECT_EQ(testsupport::readFile(saveFolder.filePath(QStringLiteral("picture.gif"))),
              InventorySite::gifBytes());
    EXPECT_TRUE(summary.text().startsWith(QStringLiteral("Saved %1 pictures to ").arg(expectSaved)))
        << summary.text().toStdString();
    EXPECT_TRUE(summary.text().contains(QStringLiteral("%1 failed").arg(missing.size())));
}

TEST_F(PageInfoWindowTest, AnExistingFileIsKeptOrReplacedAsTheUserSays)
{
    const QString logo = saveFolder.filePath(QStringLiteral("logo.png"));
    ASSERT_TRUE(testsupport::writeFile(logo, "mine"));
    select({QStringLiteral("narrow.png"), QStringLiteral("logo.png")});
    ASSERT_EQ(window->selectedAddresses().size(), 2);

    answerQuestion(QStringLiteral("Keep Both"));
    window->saveSelected(saveFolder.path());
    SaveSummary summary = waitForSave();
    EXPECT_EQ(testsupport::readFile(logo), QByteArray("mine"));
    const QByteArray served = siteFile(QStringLiteral("/site/pics/logo.png"));
    EXPECT_EQ(testsupport::readFile(saveFolder.filePath(QStringLiteral("logo (2).png"))), served);
    EXPECT_TRUE(summary.savedFiles.contains(QStringLiteral("narrow.png")));

    // Cancel at the question saves nothing.
    answerQuestion(QStringLiteral("Cancel"));
    window->saveSelected(saveFolder.path());
    EXPECT_FALSE(window->saving());
    EXPECT_FALSE(QFile::exists(saveFolder.filePath(QStringLiteral("logo (3).png"))));

    answerQuestion(QStringLiteral("Replace"));
    window->saveSelected(saveFolder.path());
    summary = waitForSave();
    EXPECT_EQ(testsupport::readFile(logo), served);
    EXPECT_FALSE(QFile::exists(saveFolder.filePath(QStringLiteral("logo (3).png"))));
    EXPECT_EQ(filesSaved(), QStringList({QStringLiteral("logo (2).png"), QStringLiteral("logo.png"),
                                         QStringLiteral("narrow.png")}));
}

TEST_F(PageInfoWindowTest, CancelStopsTheSaveAndLeavesNoHalfPicture)
{
    // A picture whose download never ends.
    site.server().stallRoute(QStringLiteral("/site/pics/narrow.png"));
    select({QStringLiteral("narrow.png")});
    window->saveSelected(saveFolder.path());
    EXPECT_EVENTUALLY(site.server().requests().contains(QStringLiteral("/site/pics/narrow.png")),
                      20000);
    // The saver has the picture under way, from its own download or from the
    // fetch of it that the window has already started (which stalls too):
    // either way the save waits on the stalled picture when it is cancelled.
    EXPECT_TRUE(window->saving());
    window->cancelSave();
    const SaveSummary summary = waitForSave();
    EXPECT_TRUE(summary.cancelled);
    EXPECT_TRUE(summary.savedFiles.isEmpty());
    // The picture itself was cancelled. Its own variant, which is not on the
    // server, is left out as missing or, when the cancel came first, as
    // cancelled too; nothing else is skipped.
    ASSERT_EQ(summary.skipped.size(), 1);
    EXPECT_TRUE(summary.skipped.constFirst().first.endsWith(QLatin1String("/narrow.png")));
    EXPECT_EQ(summary.skipped.constFirst().second, QStringLiteral("cancelled"));
    EXPECT_EQ(summary.variantsSkipped.size() + summary.variantsFailed.size(), 1);
    for (const auto &[address, why] : summary.variantsSkipped + summary.variantsFailed)
        EXPECT_TRUE(address.endsWith(QLatin1String("/wide.webp"))) << address.toStdString();
    EXPECT_TRUE(summary.text().contains(QStringLiteral("Cancelled.")))
        << summary.text().toStdString();
    EXPECT_EVENTUALLY(filesSaved().isEmpty(), 5000);
    EXPECT_FALSE(window->saving());
}

TEST_F(PageInfoWindowTest, ThumbnailsAndSizesArriveWithoutReadingLocalFiles)
{
    const int logo = rowOf(QStringLiteral("logo.png"));
    ASSERT_GE(logo, 0);
    MediaModel *model = window->mediaModel();
    const QModelIndex preview = model->index(logo, MediaModel::Preview);
    model->data(preview, MediaModel::ThumbnailRole);
    EXPECT_EVENTUALLY(!model->data(preview, MediaModel::ThumbnailRole).value<QImage>().isNull(),
                      20000);
    EXPECT_EQ(model->data(preview, MediaModel::ThumbnailRole).value<QImage>().size(), QSize(4, 3));
    // A picture that no img shows gets its dimensions from its decoded file,
    // without being asked for.
    const int hero = rowOf(QStringLiteral("hero.png"));
    ASSERT_GE(hero, 0);
    EXPECT_EVENTUALLY_EQ(model->index(hero, MediaModel::Dimensions).data().toString(),
                         QStringLiteral("3 \u00d7 3"), 20000);
    // Every size the engine did not know is asked of the server and shown.
    auto anyAsking = [&] {
        for (int row = 0; row < model->rowCount(); ++row) {
            if (model->index(row, MediaModel::Size).data().toString() == QStringLiteral("\u2026"))
                return true;
        }
        return false;
    };
    EXPECT_EVENTUALLY(!anyAsking(), 20000);
    const int narrow = rowOf(QStringLiteral("narrow.png"));
    EXPECT_EQ(model->entry(narrow).bytes, siteFile(QStringLiteral("/site/pics/narrow.png")).size());
}

TEST_F(PageInfoWindowTest, AWebPageCannotMakeTheWindowReadOrSaveALocalFile)
{
    // A picture on disk that a hostile web page names.
    QTemporaryDir secrets;
    const QString secret = secrets.filePath(QStringLiteral("secret.png"));
    ASSERT_TRUE(testsupport::writeFile(secret, InventorySite::pngBytes(9, 9)));
    Inventory hostile;
    hostile.valid = true;
    hostile.title = QStringLiteral("<b>Hostile</b>");
    hostile.pageAddress = site.url(QStringLiteral("/page.html"));
    InventoryEntry local;
    local.address = QUrl::fromLocalFile(secret).toString();
    local.displayAddress = local.address;
    local.kinds = {QStringLiteral("img")};
    local.mimeType = QStringLiteral("image/png");
    InventoryEntry web = local;
    web.address = site.url(QStringLiteral("/site/pics/logo.png"));
    web.displayAddress = web.address;
    hostile.pictures = {local, web};
    window->setInventory(hostile);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Page Info - <b>Hostile</b>"));

    MediaModel *model = window->mediaModel();
    ASSERT_EQ(model->rowCount(), 2);
    model->data(model->index(0, MediaModel::Preview), MediaModel::ThumbnailRole);
    model->data(model->index(1, MediaModel::Preview), MediaModel::ThumbnailRole);
    EXPECT_EVENTUALLY(!model->data(model->index(1, MediaModel::Preview), MediaModel::ThumbnailRole)
                           .value<QImage>()
                           .isNull(),
                      20000);
    EXPECT_TRUE(model->data(model->index(0, MediaModel::Preview), MediaModel::ThumbnailRole)
                    .value<QImage>()
                    .isNull());
    EXPECT_EQ(model->index(0, MediaModel::Dimensions).data().toString(), QString());

    window->saveAll(saveFolder.path());
    const SaveSummary summary = waitForSave();
    EXPECT_EQ(summary.savedFiles, QStringList({QStringLiteral("logo.png")}));
    ASSERT_EQ(summary.skipped.size(), 1);
    EXPECT_EQ(summary.skipped.constFirst().first, local.address);
    EXPECT_EQ(filesSaved(), QStringList({QStringLiteral("logo.png")}));
}

TEST_F(PageInfoWindowTest, ExportWritesTheShownRowsAsCsvAndJson)
{
    window->mediaFilter()->setType(QStringLiteral("PNG"));
    const int shown = window->mediaFilter()->rowCount();
    ASSERT_GT(shown, 3);
    const QString csv = saveFolder.filePath(QStringLiteral("list.csv"));
    const QString json = saveFolder.filePath(QStringLiteral("list.json"));
    EXPECT_TRUE(window->exportTo(csv));
    EXPECT_TRUE(window->exportTo(json));
    QString error;
    EXPECT_FALSE(
        window->exportTo(saveFolder.filePath(QStringLiteral("no/such/folder/list.csv")), &error));
    EXPECT_FALSE(error.isEmpty());
    const QList<QByteArray> lines = testsupport::readFile(csv).split('\n');
    // A header, a line a picture, and the end of the last line.
    EXPECT_EQ(lines.size(), shown + 2);
    EXPECT_TRUE(lines.constFirst().startsWith("address,kinds,type,width,height"));
    const QJsonObject root = QJsonDocument::fromJson(testsupport::readFile(json)).object();
    EXPECT_EQ(root.value(QStringLiteral("title")).toString(), inventory.title);
    EXPECT_EQ(root.value(QStringLiteral("pictures")).toArray().size(), shown);
}

TEST_F(PageInfoWindowTest, KeepsItsSizeAndColumnsInTheSettings)
{
    window->resize(777, 555);
    window->mediaTable()->horizontalHeader()->resizeSection(MediaModel::Address, 432);
    delete window.data();
    window = new PageInfoWindow(profile.get(), Product);
    EXPECT_EQ(window->size(), QSize(777, 555));
    EXPECT_EQ(window->mediaTable()->horizontalHeader()->sectionSize(MediaModel::Address), 432);
}

// ---------------------------------------------------------------------------
// The parts that need no page.

TEST(MediaSaverNames, NamesComeFromTheAddressAndAreSafeOnDisk)
{
    const struct {
        const char *address;
        const char *type;
        const char *name;
    } cases[] = {
        {"http://h/a/photo.jpg", "image/jpeg", "photo.jpg"},
        {"http://h/a/photo.jpg?w=200#x", "image/jpeg", "photo.jpg"},
        {"http://h/a/pic", "image/png", "pic.png"},
        {"http://h/a/", "image/webp", "picture.webp"},
        {"http://h/", "", "picture"},
        {"data:image/gif;base64,R0lG", "image/gif", "picture.gif"},
        {"http://h/a/%2E%2E%2F%2E%2E%2Fetc%2Fpasswd", "", "passwd"},
        {"http://h/a/..%5C..%5Cwin.ini", "", "_.._win.ini"},
        {"http://h/a/.hidden.png", "image/png", "hidden.png"},
        {"http://h/a/a%3Ab%2Ac%3Fd%22e%3Cf%3Eg%7Ch.png", "", "a_b_c_d_e_f_g_h.png"},
        {"http://h/a/tab%09and%0Anewline.gif", "", "tab_and_newline.gif"},
        {"http://h/a/trailing...", "image/png", "trailing.png"},
        {"http://h/a/%E5%86%99%E7%9C%9F.jpg", "", "\xe5\x86\x99\xe7\x9c\x9f.jpg"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(MediaSaver::fileNameFor(QString::fromUtf8(c.address), QString::fromUtf8(c.type)),
                  QString::fromUtf8(c.name))
            << c.address;
    }
    // A very long name is cut, keeping its extension.
    const QString longName = MediaSaver::fileNameFor(
        QStringLiteral("http://h/") + QString(500, QLatin1Char('x')) + QStringLiteral(".jpeg"),
        QString());
    EXPECT_EQ(longName.toUtf8().size(), 255);
    EXPECT_TRUE(longName.endsWith(QLatin1String(".jpeg")));
}

TEST(MediaSaverNames, RepeatsAndExistingFilesGetNumbers)
{
    QTemporaryDir folder;
    ASSERT_TRUE(testsupport::writeFile(folder.filePath(QStringLiteral("a.png")), "x"));
    const QStringList names = {QStringLiteral("a.png"), QStringLiteral("b.png"),
                               QStringLiteral("B.png"), QStringLiteral("a.png"),
                               QStringLiteral("noext")};
    EXPECT_EQ(MediaSaver::uniqueNames(names, folder.path(), false),
              QStringList({QStringLiteral("a (2).png"), QStringLiteral("b.png"),
                           QStringLiteral("B (2).png"), QStringLiteral("a (3).png"),
                           QStringLiteral("noext")}));
    EXPECT_EQ(
        MediaSaver::uniqueNames(names, folder.path(), true),
        QStringList({QStringLiteral("a.png"), QStringLiteral("b.png"), QStringLiteral("B (2).png"),
                     QStringLiteral("a (2).png"), QStringLiteral("noext")}));
    EXPECT_EQ(MediaSaver::existing(names, folder.path()), QStringList({QStringLiteral("a.png")}));
}

TEST(PictureFetcherRules, AWebPageCannotMakeTheWindowReadLocalFiles)
{
    const QUrl web(QStringLiteral("https://example.org/page.html"));
    const QUrl local = QUrl::fromLocalFile(QStringLiteral("/home/u/page.html"));
    const struct {
        const char *address;
        bool fromWeb;
        bool fromLocal;
    } cases[] = {
        {"https://example.org/a.png", true, true},       {"http://example.org/a.png", true, true},
        {"data:image/png;base64,AAAA", true, true},      {"file:///etc/passwd", false, true},
        {"file:///home/u/pic.png", false, true},         {"ftp://example.org/a.png", false, false},
        {"blob:https://example.org/1234", false, false}, {"javascript:alert(1)", false, false},
        {"chrome://settings/x.png", false, false},       {"http:///nohost.png", false, false},
    };
    for (const auto &c : cases) {
        const QString address = QString::fromUtf8(c.address);
        EXPECT_EQ(PictureFetcher::mayFetch(address, web), c.fromWeb) << c.address;
        EXPECT_EQ(PictureFetcher::mayFetch(address, local), c.fromLocal) << c.address;
    }
}

TEST(MediaExport, CsvQuotesFieldsAndDisarmsFormulas)
{
    InventoryEntry entry;
    entry.address = QStringLiteral("http://h/a,b.png");
    entry.kinds = {QStringLiteral("img"), QStringLiteral("css")};
    entry.mimeType = QStringLiteral("image/png");
    entry.naturalSize = QSize(10, 20);
    entry.bytes = 1234;
    entry.altText = QStringLiteral("=HYPERLINK(\"http://evil\",\"x\")");
    entry.uses = 2;
    entry.element = QStringLiteral("say \"hi\"\nthere");
    const QByteArray csv = MediaCsv({entry});
    const QList<QByteArray> lines = csv.split('\n');
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines.at(1),
              QByteArray("\"http://h/a,b.png\",img css,image/png,10,20,,,1234,"
                         "\"'=HYPERLINK(\"\"http://evil\"\",\"\"x\"\")\",2,\"say \"\"hi\"\""));
    EXPECT_TRUE(csv.endsWith("there\",,false,,,,,,,,\r\n")) << csv.constData();
}

} // namespace

namespace {

TEST_F(PageInfoWindowTest, ToolTipsShowAddressesAsTextAndLoadNothingTheyName)
{
    QTemporaryDir local;
    const QString fifoPath = local.filePath(QStringLiteral("zero"));
    FifoWatch fifo(fifoPath);
    ASSERT_TRUE(fifo.made());
    const QString file = QUrl::fromLocalFile(fifoPath).toString();
    const QString logged = site.url(QStringLiteral("/tip.png"));
    const QString picture = QStringLiteral("data:image/png,<img src='") + file +
                            QStringLiteral("'><img src='") + logged + QStringLiteral("'>");
    const QString link = QStringLiteral("data:text/html,<img src='") + file +
                         QStringLiteral("'><img src=\"") + logged + QStringLiteral("\">");
    Inventory hostile;
    hostile.valid = true;
    hostile.pageAddress = site.url(QStringLiteral("/page.html"));
    InventoryEntry entry;
    entry.address = picture;
    entry.displayAddress = picture;
    entry.kinds = {QStringLiteral("img")};
    entry.altText = QStringLiteral("<img src='") + file + QStringLiteral("'>");
    entry.bytes = 10;
    hostile.pictures = {entry};
    hostile.links = {{QStringLiteral("<b>zero</b>"), link, QString(), false}};
    QSignalSpy shown(window, &PageInfoWindow::inventoryShown);
    window->setInventory(hostile);
    ASSERT_TRUE(shown.count() > 0 || shown.wait(10000));
    // What the page's own pictures asked of the server is over.
    EXPECT_EVENTUALLY(window->fetcher()->idle(), 20000);
    const int requestsBefore = int(site.server().requests().size());

    window->tabs()->setCurrentIndex(1);
    const QModelIndex address =
        window->mediaFilter()->mapFromSource(window->mediaModel()->index(0, MediaModel::Address));
    const QString mediaTip = hoverToolTip(window->mediaTable(), address);
    QTextDocument read;
    read.setHtml(mediaTip);
    EXPECT_EQ(read.toPlainText(), picture);

    window->tabs()->setCurrentIndex(2);
    auto *links = window->findChild<QTableView *>(QStringLiteral("linksTable"));
    ASSERT_TRUE(links);
    const QString linkTip = hoverToolTip(links, links->model()->index(0, LinksModel::Address));
    read.setHtml(linkTip);
    EXPECT_EQ(read.toPlainText(), link);
    QToolTip::hideText();

    // Neither tip opened the file nor asked the server for the picture it names.
    EXPECT_FALSE(fifo.read());
    EXPECT_EQ(site.server().requests().size(), requestsBefore);
    EXPECT_FALSE(site.server().requests().contains(QStringLiteral("/tip.png")));
}

TEST_F(PageInfoWindowTest, APageOfTwoHundredThousandPicturesFillsInSlicesBetweenOtherEvents)
{
    // 200,000 pictures: 50,000 img of a 2x candidate folded into their row,
    // and 100,000 backgrounds, of three types; and 50,000 links.
    constexpr int images = 50000;
    Inventory huge;
    huge.valid = true;
    huge.pageAddress = QStringLiteral("http://127.0.0.1:1/");
    huge.pictures.reserve(200000);
    const QStringList types = {QStringLiteral("image/png"), QStringLiteral("image/jpeg"),
                               QStringLiteral("image/gif")};
    for (int i = 0; i < images; ++i) {
        InventoryEntry img;
        img.address = QStringLiteral("http://127.0.0.1:1/p%1.png").arg(i);
        img.displayAddress = img.address;
        img.kinds = {QStringLiteral("img"), QStringLiteral("srcset")};
        img.mimeType = types.at(0);
        img.bytes = i % 1000;
        InventoryEntry twice = img;
        twice.address = QStringLiteral("http://127.0.0.1:1/p%1-2x.png").arg(i);
        twice.displayAddress = twice.address;
        twice.kinds = {QStringLiteral("srcset")};
        img.variants = {img.address + QStringLiteral(" 1x"), twice.address + QStringLiteral(" 2x")};
        huge.pictures.append(img);
        huge.pictures.append(twice);
    }
    for (int i = 0; i < 100000; ++i) {
        InventoryEntry css;
        css.address = QStringLiteral("http://127.0.0.1:1/b%1.jpg").arg(i);
        css.displayAddress = css.address;
        css.kinds = {QStringLiteral("css")};
        css.mimeType = types.at(1 + i % 2);
        css.bytes = 5000 + i % 7;
        huge.pictures.append(css);
    }
    for (int i = 0; i < 50000; ++i)
        huge.links.append({QStringLiteral("link %1").arg(i),
                           QStringLiteral("http://127.0.0.1:1/l%1.html").arg(i), QString(), false});
    // Sorted by size, largest first: the sort waits for the last row.
    window->mediaTable()->sortByColumn(MediaModel::Size, Qt::DescendingOrder);

    int ticks = 0;
    QTimer other;
    other.setInterval(0);
    QObject::connect(&other, &QTimer::timeout, [&] { ++ticks; });
    other.start();
    QSignalSpy shown(window, &PageInfoWindow::inventoryShown);
    window->setInventory(huge);
    EXPECT_LT(window->mediaModel()->rowCount(), 150000);
    EXPECT_TRUE(window->filling());
    ASSERT_TRUE(shown.wait(120000));
    other.stop();

    EXPECT_GT(window->slicesFilled(), 1);
    // The window went on with other events between every two slices.
    EXPECT_GE(ticks, window->slicesFilled() - 1);
    MediaModel *model = window->mediaModel();
    EXPECT_EQ(model->rowCount(), 150000);
    EXPECT_EQ(window->mediaFilter()->rowCount(), 150000);
    EXPECT_EQ(window->linksModel()->rowCount(), 50000);
    EXPECT_EQ(model->types(),
              QStringList({QStringLiteral("GIF"), QStringLiteral("JPEG"), QStringLiteral("PNG")}));
    EXPECT_EQ(model->index(0, MediaModel::Kind).data().toString(),
              QStringLiteral("img, srcset (+1 variant)"));
    EXPECT_EQ(model->entriesOfRow(0), QList<int>({0, 1}));
    auto *count = window->findChild<QLabel *>(QStringLiteral("mediaCount"));
    ASSERT_TRUE(count);
    EXPECT_EQ(count->text(), QStringLiteral("%1 pictures").arg(QLocale().toString(150000)));
    // Sorted once every row was in.
    MediaFilter *filter = window->mediaFilter();
    const auto bytesAt = [&](int row) {
        return model->entry(filter->mapToSource(filter->index(row, 0)).row()).bytes;
    };
    EXPECT_EQ(bytesAt(0), 5006);
    EXPECT_EQ(bytesAt(149999), 0);
    for (int row = 1; row < 150000; row += 997)
        EXPECT_GE(bytesAt(row - 1), bytesAt(row)) << row;
}

} // namespace
