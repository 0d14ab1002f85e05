#pragma once

#include "platform/PageInventory.h"
#include "windows/MediaSaver.h"

#include <QPointer>
#include <QUrl>
#include <QWidget>

class LinksModel;
class QAbstractItemView;
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
class QWebEngineProfile;

// The Page Info window: what a page is made of, from its live document.
//   General: address, title, document type and mode, character set, last
//            modified, size of the markup, counts, meta tags.
//   Media:   every picture, as a sortable table or a thumbnail grid, with
//            filters, a preview of the selected one and its facts; saving,
//            copying, opening and exporting.
//   Links:   every link, those to pictures marked.
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
    // A line above the tabs (none when empty): why the inventory shown is not
    // the page the Browser tab tried last. A new inventory takes it away.
    void setNotice(const QString &text);
    QString notice() const;
    // True while the rows of the inventory are still going in.
    bool filling() const;
    // The slices the last inventory took so far.
    int slicesFilled() const { return m_slices; }
    // How long one slice may take.
    static constexpr int sliceMilliseconds = 8;
    const Inventory &inventory() const;

    static QString captionFor(const Inventory &inventory);

    // What the buttons do once the user has picked the folder. Existing files
    // of the same names are replaced only if the user says so when asked.
    void saveAll(const QString &folder);
    void saveSelected(const QString &folder);
    void cancelSave();
    bool saving() const;
    const SaveSummary &lastSummary() const { return m_lastSummary; }

    // The addresses of the selected pictures, in the order shown.
    QStringList selectedAddresses() const;
    void copyAddresses() const;
    // Writes the rows shown as CSV, or as JSON for a .json path; false and why when it cannot.
    bool exportTo(const QString &path, QString *error = nullptr) const;

    // For tests and the benchmark.
    MediaModel *mediaModel() const { return m_media; }
    MediaFilter *mediaFilter() const { return m_filter; }
    QTableView *mediaTable() const { return m_table; }
    QListView *mediaGrid() const { return m_grid; }
    LinksModel *linksModel() const { return m_links; }
    QTabWidget *tabs() const { return m_tabs; }
    PictureFetcher *fetcher() const { return m_fetcher; }

signals:
    // The user asked to open a picture in the Browser view.
    void openRequested(const QUrl &address);
    void saveFinished(const SaveSummary &summary);
    // Every row of the inventory is in.
    void inventoryShown();

private:
    QWidget *makeGeneralTab();
    QWidget *makeMediaTab();
    QWidget *makeLinksTab();
    void fillGeneral();
    void fillSlice();
    void filled();
    // Sizes the engine did not know are asked of the servers as their rows come.
    void askSizes(int firstRow, int lastRow);
    void selectFirst();
    void updateCount();
    void updatePreview();
    void previewReady(const QString &address, const QImage &image);
    void openCurrent();
    void setGrid(bool grid);
    void save(const QList<int> &rows, const QString &folder);
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

    QString m_product;
    QPointer<QWebEngineProfile> m_profile;
    PictureFetcher *m_fetcher = nullptr;
    MediaSaver *m_saver = nullptr;
    MediaModel *m_media = nullptr;
    MediaFilter *m_filter = nullptr;
    LinksModel *m_links = nullptr;
    SaveSummary m_lastSummary;

    QTabWidget *m_tabs = nullptr;
    QLabel *m_notice = nullptr;
    QWidget *m_general = nullptr;
    QTableWidget *m_metaTable = nullptr;
    QLineEdit *m_filterText = nullptr;
    QComboBox *m_typeFilter = nullptr;
    QSpinBox *m_minimumSide = nullptr;
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
    QProgressBar *m_progress = nullptr;
    QPushButton *m_cancel = nullptr;
    QTableView *m_linksTable = nullptr;
    QTimer *m_filling = nullptr;
    int m_slices = 0;
};
