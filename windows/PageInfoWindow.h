#pragma once

#include "platform/LazyLoader.h"
#include "platform/PageInventory.h"
#include "windows/MediaSaver.h"
#include "windows/NamePattern.h"
#include "windows/SaveOptions.h"

#include <QPointer>
#include <QSet>
#include <QUrl>
#include <QWebEnginePage>
#include <QWidget>

class LinksFilter;
class LinksModel;
class QAbstractItemView;
class QCheckBox;
class MediaFilter;
class MediaModel;
class PictureFetcher;
class QComboBox;
class QLabel;
class QLineEdit;
class QListView;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QSplitter;
class QStackedWidget;
class QTabWidget;
class QTableView;
class QTableWidget;
class QTimer;
class QToolButton;
class QWebEnginePage;
class QWebEngineProfile;
class ServedMarkup;

// The Page Info window: what a page is made of, from its live document.
//   General: address, title, MIME type, document type and mode, character
//            set, last modified, size of the markup, counts, meta tags.
//   Media:   every picture, as a sortable table or a thumbnail grid (one
//            selection for both), with filters, a preview of the selected
//            one and its facts; saving, copying, opening and exporting.
//   Links:   every link, those to pictures marked, with a filter; copying
//            and exporting.
// A picture's facts come from its answer, not from its name: every row's
// picture is fetched in the background (the first checkedInAdvance rows; the
// rest as they come into sight, and the sizes of all from the head of their
// answers), and its type, dimensions, status and problem follow as they come.
// The window counts pictures one way everywhere: a row is a picture with its
// variants, and a row that turns out not to be a picture is not counted.
// Each picture also tells where it came from (its Source: compared with the
// inventory of the markup the server sent, read with scripts off), whether
// the page loaded it (its State), and what is wrong with it (its Issues);
// General sums them up. Load Lazy Pictures scrolls the live page through (a
// LazyLoader) and takes its inventory again.
// Its caption is "Page Info - " and the page title. It keeps its size and
// its column layout in the settings of the product. Thumbnails, previews and
// sizes are fetched with the profile's cookies; saving downloads through
// the profile itself.
class PageInfoWindow : public QWidget {
    Q_OBJECT
public:
    PageInfoWindow(QWebEngineProfile *profile, const QString &productName,
                   QWidget *owner = nullptr);
    ~PageInfoWindow() override;

    // Shows a new inventory (the page finished loading). An inventory that is
    // not valid says why on the General tab. The rows go into the Media and
    // Links tabs in slices of a few milliseconds, the first one at once and
    // the rest as the window's events allow; inventoryShown follows the last.
    void setInventory(const Inventory &inventory);
    // The live page the inventories are of: Load Lazy Pictures scrolls it and
    // takes its inventory again (none: the button is off); blob: pictures, and
    // with the save dialog's choice the pictures the page has shown, are saved
    // from it without a new download.
    void setLivePage(QWebEnginePage *page);
    // Starts reading the served markup of `address` (the page about to be
    // inventoried), so that it comes with the inventory. A new inventory of
    // another address starts it by itself.
    void readServedMarkup(const QUrl &address);
    // What Load Lazy Pictures does; again to stop.
    void loadLazyPictures();
    bool loadingLazyPictures() const;
    // The bounds of the scrolling, for tests.
    void setLazyBounds(const LazyLoader::Bounds &bounds) { m_lazyBounds = bounds; }
    // General's sums: "61 pictures: 40 in the markup, 18 added by scripts, 3
    // only in style sheets" and "7 problems in 5 pictures".
    QString sourcesText() const;
    QString problemsText() const;
    // A line above the tabs (none when empty): why the inventory shown is not
    // the page the Browser tab tried last. A new inventory takes it away.
    void setNotice(const QString &text);
    QString notice() const;
    // True while the rows of the inventory are still going in.
    bool filling() const;
    // The slices the last inventory took so far.
    int slicesFilled() const { return m_slices; }
    // The pictures of the page, as every count of the window gives them.
    int pictureCount() const;
    // How many rows' pictures are fetched in the background as they come.
    static constexpr int checkedInAdvance = 1000;
    // False for the address of a picture opened from this window (Open in
    // Browser): the window keeps the page it shows instead of following the
    // Browser view there. Any other page clears that.
    bool follows(const QUrl &page);
    // How long one slice may take.
    static constexpr int sliceMilliseconds = 8;
    const Inventory &inventory() const;

    static QString captionFor(const Inventory &inventory);

    // What the buttons do once the user has chosen in the save dialog.
    // Existing files of the same names are replaced only if the user says so
    // when asked. With a folder only: the pictures as their addresses name
    // them, without a manifest.
    void saveAll(const QString &folder);
    void saveSelected(const QString &folder);
    void saveAll(const SaveOptions &options);
    void saveSelected(const SaveOptions &options);
    void cancelSave();
    bool saving() const;
    const SaveSummary &lastSummary() const { return m_lastSummary; }

    // The addresses of the selected pictures, in the order shown.
    QStringList selectedAddresses() const;
    void copyAddresses() const;
    // Writes the rows shown as CSV, or as JSON for a .json path; false and why when it cannot.
    bool exportTo(const QString &path, QString *error = nullptr) const;
    // The same for the links shown.
    bool exportLinksTo(const QString &path, QString *error = nullptr) const;
    // The addresses of the selected links, in the order shown.
    QStringList selectedLinkAddresses() const;
    void copyLinkAddresses() const;
    // Dates as the engine writes them ("12/09/2026 02:33:32", local time) in
    // ISO form with the time zone: "2026-12-09 02:33:32 +01:00"; unchanged
    // when they cannot be read.
    static QString isoDate(const QString &engineDate);

    // For tests and the benchmark.
    MediaModel *mediaModel() const { return m_media; }
    MediaFilter *mediaFilter() const { return m_filter; }
    QTableView *mediaTable() const { return m_table; }
    QListView *mediaGrid() const { return m_grid; }
    LinksModel *linksModel() const { return m_links; }
    LinksFilter *linksFilter() const { return m_linksFilter; }
    QTableView *linksTable() const { return m_linksTable; }
    QTabWidget *tabs() const { return m_tabs; }
    PictureFetcher *fetcher() const { return m_fetcher; }
    ServedMarkup *servedMarkup() const { return m_served; }

signals:
    // The user asked to open a picture in the Browser view.
    void openRequested(const QUrl &address);
    // The user asked to see where the page uses the current picture: its
    // element in the Browser view, or its line in the Source Code view. The
    // addresses are the row's, its own first and then its variants'.
    void showInPageRequested(const QStringList &addresses);
    void showInSourceRequested(const QStringList &addresses);
    void saveFinished(const SaveSummary &summary);
    // Every row of the inventory is in.
    void inventoryShown();
    // The rows' sources are known (or it is known why not).
    void sourcesShown();
    // Load Lazy Pictures is done and its inventory is taken.
    void lazyPicturesLoaded(const LazyLoader::Result &result);

private:
    QWidget *makeGeneralTab();
    QWidget *makeMediaTab();
    QWidget *makeLinksTab();
    void fillGeneral();
    void fillSlice();
    void filled();
    // The rows' pictures are fetched as their rows come (the first ones), or
    // their sizes asked of the servers when the engine did not know them.
    void askFacts(int firstRow, int lastRow);
    void selectFirst();
    // After a filter: a single row left is selected.
    void filterChanged();
    void updateCount();
    void updateLinksCount();
    void updateTypes();
    void chooseLinksExportFile();
    void updatePreview();
    void previewReady(const QString &address, const QImage &image);
    void openCurrent();
    // The addresses of the current row, its own first; empty for none.
    QStringList currentAddresses() const;
    void setGrid(bool grid);
    void save(QList<int> rows, const SaveOptions &options);
    // The pictures of the rows as the saver takes them, named as `options` say.
    QList<MediaSaver::Item> planSave(const QList<int> &rows, const SaveOptions &options) const;
    // The name fields of a picture of a row.
    NameFields nameFields(int row, int entryIndex, int n, int count) const;
    void saveProgress(int done, int total);
    void saved(const SaveSummary &summary);
    void chooseFolderAndSave(bool all);
    void chooseExportFile();
    // The table or the grid, whichever shows.
    const QAbstractItemView *shownView() const;
    // The model row of the current picture in the view that shows; -1 for none.
    int currentRow() const;
    // Source rows of the selection in the view that shows.
    QList<int> selectedRows() const;
    void restoreLayout();
    void keepLayout() const;
    void servedRead(const Inventory &served);
    void lazyFinished(const LazyLoader::Result &result);
    void updateSums();

    QString m_product;
    QPointer<QWebEngineProfile> m_profile;
    PictureFetcher *m_fetcher = nullptr;
    MediaSaver *m_saver = nullptr;
    MediaModel *m_media = nullptr;
    MediaFilter *m_filter = nullptr;
    LinksModel *m_links = nullptr;
    LinksFilter *m_linksFilter = nullptr;
    int m_checked = 0; // rows whose pictures were fetched in advance
    QUrl m_openedHere; // the picture last opened from this window
    SaveSummary m_lastSummary;

    QTabWidget *m_tabs = nullptr;
    QLabel *m_notice = nullptr;
    QWidget *m_general = nullptr;
    QTableWidget *m_metaTable = nullptr;
    QLineEdit *m_filterText = nullptr;
    QComboBox *m_typeFilter = nullptr;
    QSpinBox *m_minimumSide = nullptr;
    QCheckBox *m_everything = nullptr;
    QTimer *m_typesLater = nullptr;
    QTimer *m_countLater = nullptr;
    QToolButton *m_gridToggle = nullptr;
    QLabel *m_count = nullptr;
    QSplitter *m_splitter = nullptr;
    QStackedWidget *m_stack = nullptr;
    QTableView *m_table = nullptr;
    QListView *m_grid = nullptr;
    QLabel *m_previewImage = nullptr;
    QLabel *m_previewFacts = nullptr;
    QString m_previewAddress;
    QPushButton *m_saveSelected = nullptr;
    QPushButton *m_saveAll = nullptr;
    QPushButton *m_copy = nullptr;
    QPushButton *m_open = nullptr;
    QPushButton *m_export = nullptr;
    QPushButton *m_showInPage = nullptr;
    QPushButton *m_showInSource = nullptr;
    QProgressBar *m_progress = nullptr;
    QPushButton *m_cancel = nullptr;
    QTableView *m_linksTable = nullptr;
    QLineEdit *m_linksFilterText = nullptr;
    QLabel *m_linksCount = nullptr;
    QPushButton *m_linksCopy = nullptr;
    QPushButton *m_linksExport = nullptr;
    QTimer *m_filling = nullptr;
    int m_slices = 0;

    QComboBox *m_sourceFilter = nullptr;
    QCheckBox *m_problemsOnly = nullptr;
    QPushButton *m_loadLazy = nullptr;
    QLabel *m_lazyStatus = nullptr;
    QTimer *m_sumsLater = nullptr;
    ServedMarkup *m_served = nullptr;
    QUrl m_servedFor; // the page whose served markup is read, or was
    Inventory m_servedInventory;
    bool m_servedReady = false;
    QPointer<QWebEnginePage> m_livePage;
    LazyLoader *m_lazy = nullptr;
    LazyLoader::Bounds m_lazyBounds;
    QSet<QString> m_shownBeforeLazy; // the pictures shown before the scrolling
};
