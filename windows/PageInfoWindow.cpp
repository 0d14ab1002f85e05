#include "windows/PageInfoWindow.h"

#include "platform/PictureEstimator.h"
#include "platform/ServedMarkup.h"
#include "platform/SettingsStore.h"
#include "windows/MediaModels.h"
#include "windows/PictureFetcher.h"
#include "windows/SavePicturesDialog.h"
#include "windows/WindowPlacement.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollArea>
#include <QSet>
#include <QShortcut>
#include <QSpinBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include <algorithm>

namespace {

// A grid cell: the thumbnail centred in a square of one size, whatever the
// picture's shape, and the file name under it. Every cell has the same size,
// so that the grid lays out thousands of pictures without asking for them.
class GridCell : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    static constexpr int side = PictureFetcher::thumbnailSide;

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const override
    {
        return QSize(side + 16, side + option.fontMetrics.height() + 16);
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        const bool selected = option.state & QStyle::State_Selected;
        const QPalette::ColorGroup group =
            option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
        if (selected)
            painter->fillRect(option.rect, option.palette.brush(group, QPalette::Highlight));

        const QRect box(option.rect.left() + 8, option.rect.top() + 6, side, side);
        const QImage image = index.data(MediaModel::ThumbnailRole).value<QImage>();
        if (!image.isNull()) {
            const QSize shown = image.size().scaled(box.size(), Qt::KeepAspectRatio);
            const QSize fitted =
                image.width() <= side && image.height() <= side ? image.size() : shown;
            QRect target(QPoint(0, 0), fitted);
            target.moveCenter(box.center());
            painter->drawImage(target, image);
        } else {
            painter->save();
            painter->setPen(option.palette.color(QPalette::Mid));
            painter->drawRect(box.adjusted(0, 0, -1, -1));
            painter->restore();
        }
        const QRect textRect(option.rect.left() + 4, box.bottom() + 4, option.rect.width() - 8,
                             option.fontMetrics.height());
        const QString name = option.fontMetrics.elidedText(
            index.data(MediaModel::FileNameRole).toString(), Qt::ElideMiddle, textRect.width());
        painter->save();
        const QVariant colour = index.data(Qt::ForegroundRole);
        painter->setPen(
            selected || !colour.isValid()
                ? option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text)
                : colour.value<QColor>());
        painter->drawText(textRect, Qt::AlignHCenter | Qt::AlignVCenter, name);
        painter->restore();
    }
};

// Cells whose text, cut to fit, loses its middle: an address keeps its host
// and its file name.
class MiddleElided : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->textElideMode = Qt::ElideMiddle;
    }
};

QLabel *factLabel(QWidget *parent)
{
    auto *label = new QLabel(parent);
    // A page's words are shown as text, never read as markup.
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setWordWrap(true);
    return label;
}

QString orUnknown(const QString &text)
{
    return text.isEmpty() ? QObject::tr("unknown") : text;
}

// "1 picture", "3 pictures"; "1 of 3 pictures".
QString countText(int shown, int all, const QString &one, const QString &many)
{
    const QString noun = all == 1 ? one : many;
    if (shown == all)
        return QStringLiteral("%1 %2").arg(QLocale().toString(all), noun);
    return QObject::tr("%1 of %2 %3").arg(QLocale().toString(shown), QLocale().toString(all), noun);
}

const int thumbnailRowHeight = 52;

// The page an inventory is of, as its served markup is asked for.
QUrl servedAddress(const QUrl &address)
{
    return address.adjusted(QUrl::RemoveFragment);
}

} // namespace

PageInfoWindow::PageInfoWindow(QWebEngineProfile *profile, const QString &productName,
                               QWidget *owner)
    : QWidget(owner, Qt::Window), m_product(productName), m_profile(profile)
{
    setObjectName(QStringLiteral("PageInfoWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(captionFor(Inventory()));

    m_fetcher = new PictureFetcher(profile, this);
    m_saver = new MediaSaver(profile, this);
    m_media = new MediaModel(this);
    m_media->setFetcher(m_fetcher);
    m_filter = new MediaFilter(this);
    m_filter->setSourceModel(m_media);
    m_links = new LinksModel(this);
    m_links->setMedia(m_media);
    m_linksFilter = new LinksFilter(this);
    m_linksFilter->setSourceModel(m_links);
    // Answers come by the hundred: the count follows them once a moment.
    m_countLater = new QTimer(this);
    m_countLater->setSingleShot(true);
    m_countLater->setInterval(100);
    connect(m_countLater, &QTimer::timeout, this, &PageInfoWindow::updateCount);
    m_typesLater = new QTimer(this);
    m_typesLater->setSingleShot(true);
    m_typesLater->setInterval(200);
    connect(m_typesLater, &QTimer::timeout, this, &PageInfoWindow::updateTypes);
    connect(m_media, &MediaModel::typesChanged, m_typesLater, [this] {
        if (!m_typesLater->isActive())
            m_typesLater->start();
    });
    m_filling = new QTimer(this);
    m_filling->setInterval(0);
    connect(m_filling, &QTimer::timeout, this, &PageInfoWindow::fillSlice);
    connect(m_media, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) { askFacts(first, last); });
    m_served = new ServedMarkup(profile, this);
    connect(m_served, &ServedMarkup::finished, this, &PageInfoWindow::servedRead);
    // Findings change by the hundred as answers and estimates come: the sums
    // follow once a moment.
    m_sumsLater = new QTimer(this);
    m_sumsLater->setSingleShot(true);
    m_sumsLater->setInterval(200);
    connect(m_sumsLater, &QTimer::timeout, this, &PageInfoWindow::updateSums);
    connect(m_media, &MediaModel::issuesChanged, m_sumsLater, [this] {
        if (!m_sumsLater->isActive())
            m_sumsLater->start();
    });
    connect(m_media, &MediaModel::sourcesChanged, this, &PageInfoWindow::updateSums);

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("pageInfoTabs"));
    m_tabs->addTab(makeGeneralTab(), tr("&General"));
    m_tabs->addTab(makeMediaTab(), tr("&Media"));
    m_tabs->addTab(makeLinksTab(), tr("&Links"));
    m_notice = new QLabel(this);
    m_notice->setObjectName(QStringLiteral("pageInfoNotice"));
    m_notice->setWordWrap(true);
    m_notice->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_notice->setStyleSheet(QStringLiteral("QLabel{background:#fde2e1;color:#5c0a0a;"
                                           "border:1px solid #e0a09e;padding:4px 8px}"));
    m_notice->hide();
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_notice);
    layout->addWidget(m_tabs);

    connect(m_saver, &MediaSaver::progress, this, &PageInfoWindow::saveProgress);
    connect(m_saver, &MediaSaver::bytesSaved, this, [this](qint64 bytes) {
        m_progress->setFormat(
            tr("Saving %v of %m (%1)")
                .arg(QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat)));
    });
    connect(m_saver, &MediaSaver::finished, this, &PageInfoWindow::saved);
    connect(m_saver, &MediaSaver::archiving, this, [this] {
        m_progress->setRange(0, 0);
        m_progress->setFormat(tr("Writing the ZIP file\u2026"));
    });
    connect(m_fetcher, &PictureFetcher::previewReady, this, &PageInfoWindow::previewReady);
    // The previewed picture's source, state and findings as they come.
    connect(m_media, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &from, const QModelIndex &to) {
                if (to.column() < MediaModel::Source)
                    return;
                const int row = currentRow();
                if (row >= 0 && row >= from.row() && row <= to.row())
                    updatePreview();
            });
    // Sizes, dimensions and answers that arrive later show in the facts of the
    // picture being previewed; a row found not to be a picture leaves the count.
    connect(m_media, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &from, const QModelIndex &to) {
                if (from.column() > MediaModel::Size || to.column() < MediaModel::Dimensions)
                    return;
                if (from.column() == 0 && !m_countLater->isActive())
                    m_countLater->start();
                // Thousands of sizes arrive for other rows: only the previewed one counts.
                const int row = currentRow();
                if (row >= 0 && row >= from.row() && row <= to.row())
                    updatePreview();
            });

    resize(1240, 700);
    restoreLayout();
    CloseWithKeys(this);
    fillGeneral();
    updateCount();
    updateLinksCount();
    // Whatever asks to open something from here: a picture of the page opened
    // keeps the page in this window.
    connect(this, &PageInfoWindow::openRequested, this, [this](const QUrl &address) {
        if (m_media->hasPicture(address.toString()) ||
            std::any_of(m_links->links().begin(), m_links->links().end(),
                        [&address](const InventoryLink &link) {
                            return link.isPicture && QUrl(link.address) == address;
                        }))
            m_openedHere = address;
    });
}

bool PageInfoWindow::follows(const QUrl &page)
{
    if (!m_openedHere.isEmpty() && page == m_openedHere)
        return false;
    m_openedHere.clear();
    return true;
}

PageInfoWindow::~PageInfoWindow()
{
    keepLayout();
    // Downloads under way go with their pages, while the profile is still there.
    delete m_saver;
    m_saver = nullptr;
    // So do the pages that read the served markup; nothing they answer comes here.
    delete m_served;
    m_served = nullptr;
}

QString PageInfoWindow::captionFor(const Inventory &inventory)
{
    const QString title = inventory.title.trimmed();
    return QStringLiteral("Page Info - ") + (title.isEmpty() ? inventory.pageAddress : title);
}

const Inventory &PageInfoWindow::inventory() const
{
    return m_media->inventory();
}

void PageInfoWindow::setNotice(const QString &text)
{
    m_notice->setText(text);
    m_notice->setVisible(!text.isEmpty());
}

QString PageInfoWindow::notice() const
{
    return m_notice->text();
}

void PageInfoWindow::setInventory(const Inventory &inventory)
{
    setNotice(QString());
    setWindowTitle(captionFor(inventory));
    m_fetcher->setPage(QUrl(inventory.pageAddress));
    m_previewAddress.clear();
    // Rows that arrive in document order go at the end of a table sorted that
    // way; sorted any other way, each slice would be spread through the table,
    // so the table is sorted once, when the last row is in.
    const bool documentOrder =
        m_filter->sortColumn() < 0 || (m_filter->sortColumn() == MediaModel::Preview &&
                                       m_filter->sortOrder() == Qt::AscendingOrder);
    m_filter->setDynamicSortFilter(documentOrder);
    m_checked = 0;
    m_media->setInventory(inventory);
    if (inventory.valid) {
        // The served markup of another page is read; of the same page, it holds.
        const QUrl address = servedAddress(QUrl(inventory.pageAddress));
        if (address != m_servedFor)
            readServedMarkup(address);
        else if (m_servedReady)
            m_media->setServed(m_servedInventory);
    }
    m_links->setLinks(inventory.links);
    m_slices = 0;
    fillGeneral();
    updateCount();
    updateLinksCount();
    updatePreview();
    m_filling->start();
    fillSlice();
}

bool PageInfoWindow::filling() const
{
    return m_filling->isActive();
}

void PageInfoWindow::fillSlice()
{
    const QDeadlineTimer deadline(sliceMilliseconds);
    ++m_slices;
    const bool media = m_media->fillSome(deadline);
    const bool links = media && m_links->fillSome(deadline);
    selectFirst();
    updateCount();
    updateLinksCount();
    if (media && links) {
        m_filling->stop();
        filled();
    }
}

void PageInfoWindow::updateTypes()
{
    QStringList items = m_media->types();
    items.prepend(QString());
    items.append(MediaFilter::brokenType());
    QStringList now;
    for (int i = 0; i < m_typeFilter->count(); ++i)
        now.append(m_typeFilter->itemData(i).toString());
    if (now == items)
        return;
    const QString chosenType = m_typeFilter->currentData().toString();
    m_typeFilter->blockSignals(true);
    m_typeFilter->clear();
    for (const QString &type : items) {
        if (type.isEmpty())
            m_typeFilter->addItem(tr("All types"), type);
        else if (type == MediaFilter::brokenType())
            m_typeFilter->addItem(tr("Broken"), type);
        else
            m_typeFilter->addItem(type, type);
    }
    const int keep = m_typeFilter->findData(chosenType);
    if (keep < 0 && !chosenType.isEmpty()) {
        // The type chosen has no rows for now; it stays chosen.
        m_typeFilter->insertItem(m_typeFilter->count() - 1, chosenType, chosenType);
    }
    m_typeFilter->setCurrentIndex(m_typeFilter->findData(chosenType));
    m_typeFilter->blockSignals(false);
}

void PageInfoWindow::filled()
{
    m_typesLater->stop();
    updateTypes();
    updateSums();
    m_filter->setType(m_typeFilter->currentData().toString());
    if (!m_filter->dynamicSortFilter())
        m_filter->setDynamicSortFilter(true); // sorts
    selectFirst();
    updateCount();
    updatePreview();
    emit inventoryShown();
}

void PageInfoWindow::selectFirst()
{
    // The first picture shows in the preview, as a starting point for the keys.
    if (m_filter->rowCount() == 0 || m_table->selectionModel()->currentIndex().isValid())
        return;
    m_table->selectionModel()->setCurrentIndex(m_filter->index(0, MediaModel::Address),
                                               QItemSelectionModel::ClearAndSelect |
                                                   QItemSelectionModel::Rows);
}

void PageInfoWindow::filterChanged()
{
    if (m_filter->rowCount() == 1) {
        const QModelIndex only = m_filter->index(0, MediaModel::Address);
        if (!m_table->selectionModel()->isRowSelected(0, QModelIndex()) ||
            m_table->selectionModel()->currentIndex().row() != 0)
            m_table->selectionModel()->setCurrentIndex(only, QItemSelectionModel::ClearAndSelect |
                                                                 QItemSelectionModel::Rows);
    }
    updateCount();
}

void PageInfoWindow::askFacts(int firstRow, int lastRow)
{
    const Inventory &inventory = m_media->inventory();
    QStringList check;
    QStringList unknown;
    QStringList heads;
    for (int row = firstRow; row <= lastRow; ++row) {
        const QList<int> entries = m_media->entriesOfRow(row);
        for (const int index : entries) {
            const InventoryEntry &e = inventory.pictures.at(index);
            if (!m_fetcher->mayFetch(e.address))
                continue;
            // The row's own picture, fetched whole: its type, size and status.
            if (index == entries.constFirst() && m_checked < checkedInAdvance) {
                ++m_checked;
                if (!m_fetcher->answer(e.address).fromBytes) {
                    check.append(e.address);
                    if (e.bytes < 0)
                        unknown.append(e.address);
                }
                continue;
            }
            if (e.bytes < 0 && !e.address.startsWith(QLatin1String("data:"))) {
                unknown.append(e.address);
                heads.append(e.address);
            }
        }
    }
    // Marked first: a size that cannot be asked is known at once.
    m_media->markSizesAsked(unknown);
    if (!check.isEmpty())
        m_fetcher->check(check);
    if (!heads.isEmpty())
        m_fetcher->requestSizes(heads);
}

QWidget *PageInfoWindow::makeGeneralTab()
{
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);
    m_general = new QWidget(page);
    auto *form = new QFormLayout(m_general);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    const QList<std::pair<QString, QString>> rows = {
        {QStringLiteral("address"), tr("Address:")},
        {QStringLiteral("title"), tr("Title:")},
        {QStringLiteral("type"), tr("Type:")},
        {QStringLiteral("doctype"), tr("Document type:")},
        {QStringLiteral("mode"), tr("Render mode:")},
        {QStringLiteral("charset"), tr("Character set:")},
        {QStringLiteral("modified"), tr("Last modified:")},
        {QStringLiteral("markup"), tr("Size of the markup:")},
        {QStringLiteral("pictures"), tr("Pictures:")},
        {QStringLiteral("sources"), tr("Where from:")},
        {QStringLiteral("problems"), tr("Problems:")},
        {QStringLiteral("links"), tr("Links:")},
    };
    for (const auto &[name, caption] : rows) {
        QLabel *value = factLabel(m_general);
        value->setObjectName(QStringLiteral("general_") + name);
        form->addRow(caption, value);
    }
    layout->addWidget(m_general);
    layout->addWidget(new QLabel(tr("Meta tags:"), page));
    m_metaTable = new QTableWidget(0, 2, page);
    m_metaTable->setObjectName(QStringLiteral("metaTags"));
    m_metaTable->setHorizontalHeaderLabels({tr("Name"), tr("Content")});
    m_metaTable->horizontalHeader()->setStretchLastSection(true);
    m_metaTable->verticalHeader()->hide();
    m_metaTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_metaTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    layout->addWidget(m_metaTable, 1);
    return page;
}

namespace {

// General's count of pictures, and the frames of other sites it could not look into.
QString picturesText(int pictures, int unreachableFrames)
{
    const QString count = QLocale().toString(pictures);
    if (unreachableFrames == 1)
        return count + PageInfoWindow::tr("; 1 frame from other sites not listed");
    if (unreachableFrames > 1)
        return count + PageInfoWindow::tr("; %1 frames from other sites not listed")
                           .arg(QLocale().toString(unreachableFrames));
    return count;
}

} // namespace

void PageInfoWindow::fillGeneral()
{
    const Inventory &info = inventory();
    auto set = [this](const char *name, const QString &text) {
        if (auto *label =
                m_general->findChild<QLabel *>(QStringLiteral("general_") + QLatin1String(name)))
            label->setText(text);
    };
    if (!info.valid) {
        const QString why = info.error.isEmpty() ? tr("Waiting for the page\u2026")
                                                 : tr("No information: %1").arg(info.error);
        set("address", why);
        for (const char *name : {"title", "type", "doctype", "mode", "charset", "modified",
                                 "markup", "pictures", "sources", "problems", "links"})
            set(name, QString());
        m_metaTable->setRowCount(0);
        return;
    }
    set("address", info.pageAddress);
    set("title", info.title);
    set("type", orUnknown(info.contentType));
    set("doctype", info.documentType.isEmpty() ? tr("none") : info.documentType);
    set("mode",
        info.renderMode == QLatin1String("quirks") ? tr("Quirks mode") : tr("Standards mode"));
    set("charset", orUnknown(info.characterSet));
    set("modified", orUnknown(isoDate(info.lastModified)));
    set("markup", tr("%1 (%2 bytes)")
                      .arg(PageInventory::byteText(info.markupBytes))
                      .arg(QLocale().toString(info.markupBytes)));
    // The pictures as the Media tab counts them, kept up to date by updateCount.
    set("pictures", picturesText(pictureCount(), info.unreachableFrames));
    set("links", QLocale().toString(info.linkCount));
    updateSums();
    m_metaTable->setRowCount(int(info.metaTags.size()));
    for (int i = 0; i < info.metaTags.size(); ++i) {
        m_metaTable->setItem(i, 0, new QTableWidgetItem(info.metaTags.at(i).first));
        m_metaTable->setItem(i, 1, new QTableWidgetItem(info.metaTags.at(i).second));
    }
}

QString PageInfoWindow::isoDate(const QString &engineDate)
{
    const QDateTime when =
        QDateTime::fromString(engineDate.trimmed(), QStringLiteral("MM/dd/yyyy HH:mm:ss"));
    if (!when.isValid())
        return engineDate;
    const int offset = when.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) +
           QLatin1Char(offset < 0 ? '-' : '+') +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

int PageInfoWindow::pictureCount() const
{
    return m_media->pictureCount();
}

QWidget *PageInfoWindow::makeMediaTab()
{
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);

    auto *filters = new QHBoxLayout;
    m_filterText = new QLineEdit(page);
    m_filterText->setObjectName(QStringLiteral("mediaFilterText"));
    m_filterText->setPlaceholderText(tr("Filter by address or alt text"));
    m_filterText->setClearButtonEnabled(true);
    m_typeFilter = new QComboBox(page);
    m_typeFilter->setObjectName(QStringLiteral("mediaTypeFilter"));
    m_typeFilter->addItem(tr("All types"), QString());
    m_minimumSide = new QSpinBox(page);
    m_minimumSide->setObjectName(QStringLiteral("mediaMinimumSide"));
    m_minimumSide->setRange(0, 10000);
    m_minimumSide->setSingleStep(50);
    m_minimumSide->setPrefix(tr("at least "));
    m_minimumSide->setSuffix(tr(" px"));
    m_minimumSide->setSpecialValueText(tr("any size"));
    m_minimumSide->setToolTip(tr("Show only pictures at least this wide and this high"));
    m_everything = new QCheckBox(tr("Show e&verything"), page);
    m_everything->setObjectName(QStringLiteral("mediaShowEverything"));
    m_everything->setToolTip(
        tr("Show as well the addresses that only might have been pictures and are not"));
    m_gridToggle = new QToolButton(page);
    m_gridToggle->setObjectName(QStringLiteral("mediaGridToggle"));
    m_gridToggle->setText(tr("Gri&d"));
    m_gridToggle->setToolTip(tr("Show the pictures as a grid of thumbnails"));
    m_gridToggle->setCheckable(true);
    m_count = new QLabel(page);
    m_count->setObjectName(QStringLiteral("mediaCount"));
    auto *filterLabel = new QLabel(tr("&Filter:"), page);
    filterLabel->setBuddy(m_filterText);
    filters->addWidget(filterLabel);
    filters->addWidget(m_filterText, 1);
    filters->addWidget(m_typeFilter);
    filters->addWidget(m_minimumSide);
    filters->addWidget(m_everything);
    filters->addWidget(m_gridToggle);
    filters->addWidget(m_count);
    layout->addLayout(filters);

    // Where the pictures came from, what is wrong with them, and the lazy ones.
    auto *audit = new QHBoxLayout;
    m_sourceFilter = new QComboBox(page);
    m_sourceFilter->setObjectName(QStringLiteral("mediaSourceFilter"));
    m_sourceFilter->setToolTip(tr("Show only the pictures that came from one source"));
    m_sourceFilter->addItem(tr("All sources"), QString());
    m_sourceFilter->addItem(tr("In the markup"), PictureSource::name(PictureSource::Markup));
    m_sourceFilter->addItem(tr("Added by scripts"), PictureSource::name(PictureSource::Script));
    m_sourceFilter->addItem(tr("Only in style sheets"), PictureSource::name(PictureSource::Style));
    m_sourceFilter->addItem(tr("Lazy placeholders"),
                            PictureSource::name(PictureSource::Placeholder));
    m_problemsOnly = new QCheckBox(tr("&Problems only"), page);
    m_problemsOnly->setObjectName(QStringLiteral("mediaProblemsOnly"));
    m_problemsOnly->setToolTip(tr("Show only the pictures with something wrong with them"));
    m_lazyStatus = new QLabel(page);
    m_lazyStatus->setObjectName(QStringLiteral("mediaLazyStatus"));
    m_lazyStatus->setTextFormat(Qt::PlainText);
    m_loadLazy = new QPushButton(tr("Load La&zy Pictures"), page);
    m_loadLazy->setObjectName(QStringLiteral("mediaLoadLazy"));
    m_loadLazy->setToolTip(tr("Scroll the page through to its end, as a reader would, so that "
                              "the pictures it loads only when they come into sight load; then "
                              "list its pictures again"));
    m_loadLazy->setEnabled(false);
    auto *sourceLabel = new QLabel(tr("So&urce:"), page);
    sourceLabel->setBuddy(m_sourceFilter);
    audit->addWidget(sourceLabel);
    audit->addWidget(m_sourceFilter);
    audit->addWidget(m_problemsOnly);
    audit->addStretch(1);
    audit->addWidget(m_lazyStatus);
    audit->addWidget(m_loadLazy);
    layout->addLayout(audit);
    connect(m_sourceFilter, &QComboBox::currentIndexChanged, this, [this] {
        m_filter->setSource(m_sourceFilter->currentData().toString());
        filterChanged();
    });
    connect(m_problemsOnly, &QCheckBox::toggled, this, [this](bool only) {
        m_filter->setProblemsOnly(only);
        filterChanged();
    });
    connect(m_loadLazy, &QPushButton::clicked, this, &PageInfoWindow::loadLazyPictures);

    m_table = new QTableView(page);
    m_table->setObjectName(QStringLiteral("mediaTable"));
    m_table->setModel(m_filter);
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(MediaModel::Preview, Qt::AscendingOrder);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setWordWrap(false);
    // An address's end is its file name: the middle goes.
    m_table->setItemDelegateForColumn(MediaModel::Address, new MiddleElided(m_table));
    m_table->setIconSize(QSize(64, 48));
    m_table->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_table->verticalHeader()->hide();
    // Rows of one height scroll through thousands without measuring each.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(thumbnailRowHeight);
    QHeaderView *header = m_table->horizontalHeader();
    header->setSectionsMovable(true);
    header->setStretchLastSection(false);
    // Together as wide as the list is at the window's first size.
    const QList<int> widths = {72, 150, 72, 46, 84, 64, 70, 40, 66, 104, 102};
    for (int column = 0; column < widths.size(); ++column)
        header->resizeSection(column, widths.at(column));
    m_table->setContextMenuPolicy(Qt::CustomContextMenu);

    m_grid = new QListView(page);
    m_grid->setObjectName(QStringLiteral("mediaGrid"));
    m_grid->setModel(m_filter);
    m_grid->setModelColumn(MediaModel::Preview);
    // One selection for the table and the grid: a switch keeps it.
    QItemSelectionModel *oldSelection = m_grid->selectionModel();
    m_grid->setSelectionModel(m_table->selectionModel());
    delete oldSelection;
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setViewMode(QListView::IconMode);
    m_grid->setIconSize(QSize(PictureFetcher::thumbnailSide, PictureFetcher::thumbnailSide));
    m_grid->setItemDelegate(new GridCell(m_grid));
    m_grid->setSpacing(4);
    m_grid->setUniformItemSizes(true);
    m_grid->setResizeMode(QListView::Adjust);
    m_grid->setMovement(QListView::Static);
    m_grid->setLayoutMode(QListView::Batched);
    m_grid->setWordWrap(false);
    m_grid->setTextElideMode(Qt::ElideMiddle);
    m_grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_grid->setContextMenuPolicy(Qt::CustomContextMenu);

    m_stack = new QStackedWidget(page);
    m_stack->addWidget(m_table);
    m_stack->addWidget(m_grid);

    auto *preview = new QWidget(page);
    auto *previewLayout = new QVBoxLayout(preview);
    previewLayout->setContentsMargins(0, 0, 0, 0);
    m_previewImage = new QLabel(preview);
    m_previewImage->setTextFormat(Qt::PlainText);
    m_previewImage->setObjectName(QStringLiteral("mediaPreview"));
    m_previewImage->setAlignment(Qt::AlignCenter);
    m_previewImage->setMinimumSize(160, 160);
    m_previewImage->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Expanding);
    m_previewImage->setFrameShape(QFrame::StyledPanel);
    m_previewFacts = factLabel(preview);
    m_previewFacts->setObjectName(QStringLiteral("mediaFacts"));
    m_previewFacts->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    m_previewFacts->setTextFormat(Qt::PlainText);
    auto *factsScroll = new QScrollArea(preview);
    factsScroll->setWidget(m_previewFacts);
    factsScroll->setWidgetResizable(true);
    factsScroll->setFrameShape(QFrame::NoFrame);
    previewLayout->addWidget(m_previewImage, 3);
    previewLayout->addWidget(factsScroll, 2);
    // Where the page uses the picture: its element, its line.
    m_showInPage = new QPushButton(tr("Sho&w in Page"), preview);
    m_showInPage->setObjectName(QStringLiteral("mediaShowInPage"));
    m_showInPage->setToolTip(tr("Scroll the Browser tab to the picture and outline it"));
    m_showInSource = new QPushButton(tr("Show i&n Source Code"), preview);
    m_showInSource->setObjectName(QStringLiteral("mediaShowInSource"));
    m_showInSource->setToolTip(tr("Mark the line of the picture's element in the Source Code tab"));
    previewLayout->addWidget(m_showInPage);
    previewLayout->addWidget(m_showInSource);

    m_splitter = new QSplitter(page);
    m_splitter->setObjectName(QStringLiteral("mediaSplitter"));
    m_splitter->addWidget(m_stack);
    m_splitter->addWidget(preview);
    m_splitter->setStretchFactor(0, 3);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({900, 300});
    layout->addWidget(m_splitter, 1);

    auto *buttons = new QHBoxLayout;
    m_saveSelected = new QPushButton(tr("&Save Selected\u2026"), page);
    m_saveSelected->setObjectName(QStringLiteral("mediaSaveSelected"));
    m_saveAll = new QPushButton(tr("Save &All\u2026"), page);
    m_saveAll->setObjectName(QStringLiteral("mediaSaveAll"));
    m_copy = new QPushButton(tr("&Copy Addresses"), page);
    m_copy->setObjectName(QStringLiteral("mediaCopy"));
    m_open = new QPushButton(tr("&Open in Browser"), page);
    m_open->setObjectName(QStringLiteral("mediaOpen"));
    m_export = new QPushButton(tr("&Export\u2026"), page);
    m_export->setObjectName(QStringLiteral("mediaExport"));
    m_progress = new QProgressBar(page);
    m_progress->setObjectName(QStringLiteral("mediaSaveProgress"));
    m_progress->setFormat(tr("Saving %v of %m"));
    m_progress->hide();
    m_cancel = new QPushButton(tr("Cancel"), page);
    m_cancel->setObjectName(QStringLiteral("mediaSaveCancel"));
    m_cancel->hide();
    for (QPushButton *button : {m_saveSelected, m_saveAll, m_copy, m_open, m_export})
        buttons->addWidget(button);
    buttons->addStretch(1);
    buttons->addWidget(m_progress, 2);
    buttons->addWidget(m_cancel);
    layout->addLayout(buttons);

    connect(m_filterText, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_filter->setText(text);
        filterChanged();
    });
    connect(m_typeFilter, &QComboBox::currentIndexChanged, this, [this] {
        m_filter->setType(m_typeFilter->currentData().toString());
        filterChanged();
    });
    connect(m_minimumSide, &QSpinBox::valueChanged, this, [this](int value) {
        m_filter->setMinimumSide(value);
        filterChanged();
    });
    connect(m_everything, &QCheckBox::toggled, this, [this](bool everything) {
        m_filter->setShowEverything(everything);
        filterChanged();
    });
    // Rows that leave or join as their answers come: a single one left is selected too.
    connect(m_filter, &QAbstractItemModel::rowsRemoved, this, [this] {
        if (!filling() && m_filter->rowCount() == 1)
            filterChanged();
    });
    connect(m_gridToggle, &QToolButton::toggled, this, &PageInfoWindow::setGrid);
    connect(m_table->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &PageInfoWindow::updatePreview);
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &PageInfoWindow::updateCount);
    for (QAbstractItemView *view :
         {static_cast<QAbstractItemView *>(m_table), static_cast<QAbstractItemView *>(m_grid)}) {
        connect(view, &QAbstractItemView::activated, this, &PageInfoWindow::openCurrent);
        connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint &at) {
            QMenu menu(this);
            menu.addAction(m_open->text(), this, &PageInfoWindow::openCurrent);
            menu.addAction(m_copy->text(), this, &PageInfoWindow::copyAddresses);
            menu.addAction(m_saveSelected->text(), this, [this] { chooseFolderAndSave(false); });
            menu.addAction(m_showInPage->text(), m_showInPage, &QPushButton::click);
            menu.addAction(m_showInSource->text(), m_showInSource, &QPushButton::click);
            menu.exec(view->viewport()->mapToGlobal(at));
        });
    }
    // Ctrl+C on every desktop, as Help says (the desktop's other Copy keys,
    // Ctrl+Ins among them, would differ from one desktop to the next).
    auto *copyKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_C), m_stack);
    copyKey->setContext(Qt::WidgetWithChildrenShortcut);
    connect(copyKey, &QShortcut::activated, this, &PageInfoWindow::copyAddresses);
    connect(m_saveSelected, &QPushButton::clicked, this, [this] { chooseFolderAndSave(false); });
    connect(m_saveAll, &QPushButton::clicked, this, [this] { chooseFolderAndSave(true); });
    connect(m_copy, &QPushButton::clicked, this, &PageInfoWindow::copyAddresses);
    connect(m_open, &QPushButton::clicked, this, &PageInfoWindow::openCurrent);
    connect(m_export, &QPushButton::clicked, this, &PageInfoWindow::chooseExportFile);
    connect(m_showInPage, &QPushButton::clicked, this, [this] {
        if (const QStringList addresses = currentAddresses(); !addresses.isEmpty())
            emit showInPageRequested(addresses);
    });
    connect(m_showInSource, &QPushButton::clicked, this, [this] {
        if (const QStringList addresses = currentAddresses(); !addresses.isEmpty())
            emit showInSourceRequested(addresses);
    });
    connect(m_cancel, &QPushButton::clicked, this, &PageInfoWindow::cancelSave);
    return page;
}

QWidget *PageInfoWindow::makeLinksTab()
{
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);

    auto *filters = new QHBoxLayout;
    m_linksFilterText = new QLineEdit(page);
    m_linksFilterText->setObjectName(QStringLiteral("linksFilterText"));
    m_linksFilterText->setPlaceholderText(tr("Filter by text, address or target"));
    m_linksFilterText->setClearButtonEnabled(true);
    m_linksCount = new QLabel(page);
    m_linksCount->setObjectName(QStringLiteral("linksCount"));
    auto *filterLabel = new QLabel(tr("&Filter:"), page);
    filterLabel->setBuddy(m_linksFilterText);
    filters->addWidget(filterLabel);
    filters->addWidget(m_linksFilterText, 1);
    filters->addWidget(m_linksCount);
    layout->addLayout(filters);

    m_linksTable = new QTableView(page);
    m_linksTable->setObjectName(QStringLiteral("linksTable"));
    m_linksTable->setModel(m_linksFilter);
    m_linksTable->setSortingEnabled(true);
    m_linksTable->sortByColumn(-1, Qt::AscendingOrder);
    m_linksTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_linksTable->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_linksTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_linksTable->setWordWrap(false);
    m_linksTable->setItemDelegateForColumn(LinksModel::Address, new MiddleElided(m_linksTable));
    m_linksTable->verticalHeader()->hide();
    m_linksTable->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_linksTable->horizontalHeader()->resizeSection(LinksModel::Text, 260);
    m_linksTable->horizontalHeader()->resizeSection(LinksModel::Address, 520);
    m_linksTable->horizontalHeader()->resizeSection(LinksModel::Target, 90);
    m_linksTable->horizontalHeader()->setStretchLastSection(true);
    m_linksTable->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_linksTable, &QTableView::activated, this, [this](const QModelIndex &index) {
        const QModelIndex source = m_linksFilter->mapToSource(index);
        if (source.isValid())
            emit openRequested(QUrl(m_links->links().at(source.row()).address));
    });
    layout->addWidget(m_linksTable, 1);

    auto *buttons = new QHBoxLayout;
    m_linksCopy = new QPushButton(tr("&Copy Addresses"), page);
    m_linksCopy->setObjectName(QStringLiteral("linksCopy"));
    m_linksExport = new QPushButton(tr("&Export\u2026"), page);
    m_linksExport->setObjectName(QStringLiteral("linksExport"));
    buttons->addWidget(m_linksCopy);
    buttons->addWidget(m_linksExport);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    connect(m_linksFilterText, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_linksFilter->setText(text);
        updateLinksCount();
    });
    connect(m_linksTable->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &PageInfoWindow::updateLinksCount);
    connect(m_linksTable, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        QMenu menu(this);
        menu.addAction(m_linksCopy->text(), this, &PageInfoWindow::copyLinkAddresses)
            ->setEnabled(m_linksCopy->isEnabled());
        menu.exec(m_linksTable->viewport()->mapToGlobal(at));
    });
    // Ctrl+C on every desktop, as in the Media tab.
    auto *copyKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_C), m_linksTable);
    copyKey->setContext(Qt::WidgetWithChildrenShortcut);
    connect(copyKey, &QShortcut::activated, this, &PageInfoWindow::copyLinkAddresses);
    connect(m_linksCopy, &QPushButton::clicked, this, &PageInfoWindow::copyLinkAddresses);
    connect(m_linksExport, &QPushButton::clicked, this, &PageInfoWindow::chooseLinksExportFile);
    return page;
}

void PageInfoWindow::updateLinksCount()
{
    m_linksCount->setText(
        countText(m_linksFilter->rowCount(), m_links->rowCount(), tr("link"), tr("links")));
    m_linksCopy->setEnabled(m_linksTable->selectionModel()->hasSelection());
    m_linksExport->setEnabled(m_linksFilter->rowCount() > 0);
}

QStringList PageInfoWindow::selectedLinkAddresses() const
{
    QModelIndexList rows = m_linksTable->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    QStringList out;
    for (const QModelIndex &index : rows) {
        const QModelIndex source = m_linksFilter->mapToSource(index);
        if (source.isValid())
            out.append(m_links->links().at(source.row()).address);
    }
    return out;
}

void PageInfoWindow::copyLinkAddresses() const
{
    const QStringList addresses = selectedLinkAddresses();
    if (!addresses.isEmpty())
        QApplication::clipboard()->setText(addresses.join(QLatin1Char('\n')));
}

bool PageInfoWindow::exportLinksTo(const QString &path, QString *error) const
{
    QList<InventoryLink> shown;
    for (int row = 0; row < m_linksFilter->rowCount(); ++row) {
        InventoryLink link =
            m_links->links().at(m_linksFilter->mapToSource(m_linksFilter->index(row, 0)).row());
        link.isPicture = m_links->leadsToPicture(link);
        shown.append(link);
    }
    const QByteArray bytes = path.endsWith(QLatin1String(".json"), Qt::CaseInsensitive)
                                 ? LinksJson(inventory(), shown)
                                 : LinksCsv(shown);
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    if (error)
        *error = file.errorString();
    return false;
}

void PageInfoWindow::chooseLinksExportFile()
{
    QString chosenFilter;
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Export the Links List"),
        QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
            .filePath(QStringLiteral("links.csv")),
        tr("CSV table (*.csv);;JSON (*.json)"), &chosenFilter);
    if (path.isEmpty())
        return;
    QString target = path;
    if (QFileInfo(target).suffix().isEmpty())
        target += chosenFilter.contains(QLatin1String("json")) ? QStringLiteral(".json")
                                                               : QStringLiteral(".csv");
    QString error;
    if (!exportLinksTo(target, &error))
        QMessageBox::warning(
            this, tr("Export"),
            tr("Cannot write %1: %2").arg(QDir::toNativeSeparators(target), error));
}

void PageInfoWindow::updateCount()
{
    const int rows = m_filter->rowCount();
    const int all = pictureCount();
    // The rows shown that are not pictures (only with everything) are told apart.
    int others = 0;
    if (m_filter->showsEverything()) {
        for (int row = 0; row < rows; ++row) {
            if (m_media->notPicture(m_filter->mapToSource(m_filter->index(row, 0)).row()))
                ++others;
        }
    }
    QString text = countText(rows - others, all, tr("picture"), tr("pictures"));
    if (others > 0)
        text += others == 1 ? tr(", 1 not a picture") : tr(", %1 not pictures").arg(others);
    m_count->setText(text);
    if (auto *general = m_general->findChild<QLabel *>(QStringLiteral("general_pictures"));
        general && inventory().valid)
        general->setText(picturesText(all, inventory().unreachableFrames));
    const bool any = !selectedRows().isEmpty();
    m_saveSelected->setEnabled(any && !saving());
    m_copy->setEnabled(any);
    m_open->setEnabled(any);
    m_showInPage->setEnabled(currentRow() >= 0);
    m_showInSource->setEnabled(currentRow() >= 0);
    m_saveAll->setEnabled(all > 0 && !saving());
    m_export->setEnabled(rows > 0);
}

const QAbstractItemView *PageInfoWindow::shownView() const
{
    // One selection serves both.
    return m_table;
}

int PageInfoWindow::currentRow() const
{
    const QModelIndex current = shownView()->currentIndex();
    if (!current.isValid())
        return -1;
    return m_filter->mapToSource(m_filter->index(current.row(), 0)).row();
}

QList<int> PageInfoWindow::selectedRows() const
{
    const QAbstractItemView *view = shownView();
    QList<int> rows;
    QModelIndexList selected = view->selectionModel()->selectedIndexes();
    std::sort(selected.begin(), selected.end(),
              [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    int last = -1; // the cells of one row come together once sorted
    for (const QModelIndex &index : selected) {
        if (index.row() == last)
            continue;
        last = index.row();
        const int row = m_filter->mapToSource(m_filter->index(index.row(), 0)).row();
        if (row >= 0)
            rows.append(row);
    }
    return rows;
}

QStringList PageInfoWindow::selectedAddresses() const
{
    QStringList out;
    for (const int row : selectedRows())
        out.append(m_media->entry(row).address);
    return out;
}

void PageInfoWindow::copyAddresses() const
{
    const QStringList addresses = selectedAddresses();
    if (!addresses.isEmpty())
        QApplication::clipboard()->setText(addresses.join(QLatin1Char('\n')));
}

void PageInfoWindow::openCurrent()
{
    const QStringList addresses = selectedAddresses();
    if (!addresses.isEmpty())
        emit openRequested(QUrl(addresses.constFirst()));
}

QStringList PageInfoWindow::currentAddresses() const
{
    const int row = currentRow();
    QStringList out;
    if (row >= 0) {
        for (const int index : m_media->entriesOfRow(row))
            out.append(inventory().pictures.at(index).address);
    }
    return out;
}

void PageInfoWindow::setGrid(bool grid)
{
    if (m_gridToggle->isChecked() != grid)
        m_gridToggle->setChecked(grid);
    QAbstractItemView *view =
        grid ? static_cast<QAbstractItemView *>(m_grid) : static_cast<QAbstractItemView *>(m_table);
    m_stack->setCurrentWidget(view);
    // The selection is the same: the current picture comes into sight.
    const QModelIndex current = m_table->selectionModel()->currentIndex();
    if (current.isValid())
        view->scrollTo(
            current.siblingAtColumn(grid ? int(MediaModel::Preview) : int(MediaModel::Address)));
    updateCount();
    updatePreview();
}

void PageInfoWindow::updatePreview()
{
    const int row = currentRow();
    if (row < 0) {
        m_previewAddress.clear();
        m_previewImage->clear();
        m_previewImage->setText(tr("Select a picture to see it here."));
        m_previewFacts->clear();
        return;
    }
    const InventoryEntry &e = m_media->entry(row);
    const PictureAnswer answer = m_media->answer(row);
    const QString problem = m_media->problem(row);
    QStringList facts;
    facts << e.displayAddress;
    if (m_media->notPicture(row))
        facts << tr("Not a picture: %1").arg(answer.problem);
    else if (e.failed)
        facts << tr("Broken: %1").arg(problem);
    facts << tr("Kind: %1").arg(e.kinds.join(QStringLiteral(", ")));
    QString type = orUnknown(e.mimeType);
    if (!answer.decodedType.isEmpty() && !answer.contentType.isEmpty() &&
        answer.contentType != answer.decodedType)
        type += tr(" (the server says %1)").arg(answer.contentType);
    else if (!answer.answered())
        type += tr(" (from its name, until it is fetched)");
    facts << tr("Type: %1").arg(type);
    if (answer.status > 0)
        facts << tr("Status: %1").arg(answer.statusText());
    facts << tr("Natural size: %1").arg(orUnknown(MediaModel::dimensionsText(e.naturalSize)));
    facts << tr("Displayed size: %1").arg(orUnknown(MediaModel::dimensionsText(e.displayedSize)));
    facts << tr("File size: %1").arg(m_media->sizeText(e));
    if (!e.altText.isEmpty())
        facts << tr("Alt text: %1").arg(e.altText);
    facts << tr("Uses: %1, first in %2").arg(e.uses).arg(e.element);
    if (!e.variants.isEmpty())
        facts << tr("Variants:") << e.variants;
    if (m_media->sourcesKnown())
        facts << tr("Source: %1").arg(PictureSource::name(m_media->source(row)));
    facts << tr("State: %1").arg(m_media->state(row).text());
    const QList<PictureAudit::Issue> issues = m_media->issues(row);
    if (!issues.isEmpty()) {
        facts << tr("Issues:");
        for (const PictureAudit::Issue &issue : issues)
            facts << QStringLiteral("\u2022 ") + issue.words;
    }
    m_previewFacts->setText(facts.join(QLatin1Char('\n')));
    // A picture known to be broken, or no picture, says so instead of itself.
    const QString cannot =
        m_media->notPicture(row)        ? tr("This is not a picture: %1.").arg(answer.problem)
        : e.failed && answer.answered() ? tr("This picture is broken: %1.").arg(problem)
                                        : QString();
    if (m_previewAddress == e.address) {
        if (!cannot.isEmpty() && m_previewImage->pixmap().isNull())
            m_previewImage->setText(cannot);
        return;
    }
    m_previewAddress = e.address;
    m_previewImage->clear();
    if (!cannot.isEmpty()) {
        m_previewImage->setText(cannot);
        return;
    }
    if (!m_fetcher->mayFetch(e.address)) {
        m_previewImage->setText(tr("No preview for this address."));
        return;
    }
    m_previewImage->setText(tr("Loading preview\u2026"));
    const QSize box =
        m_previewImage->size().expandedTo(QSize(160, 160)).boundedTo(QSize(1024, 1024));
    m_fetcher->requestPreview(e.address, box);
}

void PageInfoWindow::previewReady(const QString &address, const QImage &image)
{
    if (address != m_previewAddress)
        return;
    if (!image.isNull()) {
        m_previewImage->setPixmap(QPixmap::fromImage(image));
        return;
    }
    const PictureAnswer answer = m_fetcher->answer(address);
    if (answer.verdict == PictureAnswer::Verdict::NotPicture)
        m_previewImage->setText(tr("This is not a picture: %1.").arg(answer.problem));
    else if (answer.verdict == PictureAnswer::Verdict::Broken)
        m_previewImage->setText(tr("This picture is broken: %1.").arg(answer.problem));
    else if (!answer.problem.isEmpty())
        m_previewImage->setText(tr("This picture cannot be shown: %1.").arg(answer.problem));
    else
        m_previewImage->setText(tr("This picture cannot be shown."));
}

bool PageInfoWindow::saving() const
{
    return m_saver && m_saver->busy();
}

void PageInfoWindow::saveAll(const QString &folder)
{
    SaveOptions options;
    options.folder = folder;
    saveAll(options);
}

void PageInfoWindow::saveSelected(const QString &folder)
{
    SaveOptions options;
    options.folder = folder;
    saveSelected(options);
}

void PageInfoWindow::saveAll(const SaveOptions &options)
{
    // The pictures, as counted: not the rows that turned out to be none.
    QList<int> rows;
    for (int row = 0; row < m_media->rowCount(); ++row) {
        if (!m_media->notPicture(row))
            rows.append(row);
    }
    save(rows, options);
}

void PageInfoWindow::saveSelected(const SaveOptions &options)
{
    save(selectedRows(), options);
}

NameFields PageInfoWindow::nameFields(int row, int entryIndex, int n, int count) const
{
    const InventoryEntry &e = inventory().pictures.at(entryIndex);
    const PictureAnswer answer = m_media->answerOfEntry(entryIndex);
    NameFields fields;
    fields.n = n;
    fields.count = count;
    fields.address = e.address;
    fields.mimeType = answer.type().isEmpty() ? e.mimeType : answer.type();
    // A candidate has the alt text of its picture.
    fields.alt = e.altText.isEmpty() ? m_media->entry(row).altText : e.altText;
    fields.size = e.naturalSize.isValid() ? e.naturalSize : answer.naturalSize;
    return fields;
}

QList<MediaSaver::Item> PageInfoWindow::planSave(const QList<int> &rows,
                                                 const SaveOptions &options) const
{
    // Each picture of the rows once, with the variants folded into them (or
    // only its widest); the names take the type its answer told, when it came.
    const QList<InventoryEntry> &pictures = inventory().pictures;
    QList<MediaSaver::Item> items;
    QSet<QString> seen;
    const int count = int(rows.size());
    int n = 0;
    for (const int row : rows) {
        ++n;
        QList<int> entries = m_media->entriesOfRow(row);
        if (options.largestVariant)
            entries = {WidestCandidate(entries, pictures, [this](int entry) {
                const InventoryEntry &e = inventory().pictures.at(entry);
                const QSize size = e.naturalSize.isValid()
                                       ? e.naturalSize
                                       : m_media->answerOfEntry(entry).naturalSize;
                return size.isValid() ? size.width() : -1;
            })};
        const QList<int> own = m_media->entriesOfRow(row);
        for (const int index : entries) {
            const InventoryEntry &e = pictures.at(index);
            if (seen.contains(e.address))
                continue;
            seen.insert(e.address);
            const NameFields fields = nameFields(row, index, n, count);
            MediaSaver::Item item;
            item.address = e.address;
            item.fileName = NamePattern::apply(
                options.pattern.isEmpty() ? NamePattern::defaultPattern() : options.pattern, fields,
                options.keepFolders);
            item.picture = row;
            item.variant = !options.largestVariant && index != own.constFirst();
            item.alt = fields.alt;
            item.kinds = e.kinds;
            item.source = m_media->sourceOfEntry(index);
            item.state = m_media->stateOfEntry(index);
            item.size = fields.size;
            items.append(item);
        }
    }
    return items;
}

void PageInfoWindow::save(QList<int> rows, const SaveOptions &options)
{
    if (saving() || rows.isEmpty())
        return;
    // In page order, whatever order the table shows: {n} counts that way.
    std::sort(rows.begin(), rows.end(),
              [this](int a, int b) { return m_media->entryIndex(a) < m_media->entryIndex(b); });
    QList<MediaSaver::Item> items = planSave(rows, options);
    const bool zip = options.into == SaveOptions::Into::Zip;
    QStringList names;
    for (const MediaSaver::Item &item : items)
        names.append(item.fileName);
    const QString zipName = SavePicturesDialog::zipFileName(
        options.zipName.isEmpty() ? QStringLiteral("pictures") : options.zipName);
    // What would be replaced: the pictures and their manifest, or the ZIP file.
    QStringList planned = zip ? QStringList{zipName} : names;
    if (!zip && options.manifest)
        planned.append(MediaSaver::manifestName());
    bool replace = false;
    const QStringList clashes = MediaSaver::existing(planned, options.folder);
    if (!clashes.isEmpty()) {
        QMessageBox ask(
            QMessageBox::Question, tr("Save Pictures"),
            tr("%n file(s) of the same name already exist in %1.", nullptr, int(clashes.size()))
                .arg(QDir::toNativeSeparators(options.folder)),
            QMessageBox::NoButton, this);
        ask.setTextFormat(Qt::PlainText);
        ask.setInformativeText(zip ? tr("Replace it, or keep both and save the new ZIP file "
                                        "under another name?")
                                   : tr("Replace them, or keep both and save the new pictures "
                                        "under other names?"));
        ask.setDetailedText(clashes.join(QLatin1Char('\n')));
        QPushButton *keepBoth = ask.addButton(tr("&Keep Both"), QMessageBox::AcceptRole);
        QPushButton *replaceButton = ask.addButton(tr("&Replace"), QMessageBox::DestructiveRole);
        ask.addButton(QMessageBox::Cancel);
        ask.setDefaultButton(keepBoth);
        ask.exec();
        if (ask.clickedButton() == replaceButton)
            replace = true;
        else if (ask.clickedButton() != keepBoth)
            return;
    }
    // Names are unique among themselves (and, into the folder, beside what is there).
    if (zip)
        names.prepend(MediaSaver::manifestName());
    QStringList unique =
        MediaSaver::uniqueNames(names, zip ? QString() : options.folder, zip || replace);
    if (zip)
        unique.removeFirst();
    for (qsizetype i = 0; i < items.size(); ++i)
        items[i].fileName = unique.at(i);
    MediaSaver::Target target;
    target.folder = options.folder;
    target.zipName = zip ? zipName : QString();
    target.manifest = options.manifest;
    target.fromPage = options.fromPage;
    target.page = m_livePage;
    m_progress->setRange(0, int(rows.size()));
    m_progress->setValue(0);
    m_progress->setFormat(tr("Saving %v of %m"));
    m_progress->show();
    m_cancel->show();
    m_saver->start(items, target, QUrl(inventory().pageAddress), replace);
    updateCount();
}

void PageInfoWindow::cancelSave()
{
    if (m_saver)
        m_saver->cancel();
}

void PageInfoWindow::saveProgress(int done, int total)
{
    m_progress->setRange(0, total);
    m_progress->setValue(done);
}

void PageInfoWindow::saved(const SaveSummary &summary)
{
    m_lastSummary = summary;
    m_progress->hide();
    m_cancel->hide();
    updateCount();
    auto *box =
        new QMessageBox(summary.failed.isEmpty() ? QMessageBox::Information : QMessageBox::Warning,
                        tr("Save Pictures"), summary.text(), QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("saveSummary"));
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (!summary.details().isEmpty())
        box->setDetailedText(summary.details());
    box->open();
    emit saveFinished(summary);
}

void PageInfoWindow::chooseFolderAndSave(bool all)
{
    QList<int> rows;
    if (all) {
        for (int row = 0; row < m_media->rowCount(); ++row) {
            if (!m_media->notPicture(row))
                rows.append(row);
        }
    } else {
        rows = selectedRows();
    }
    if (rows.isEmpty() || saving())
        return;
    std::sort(rows.begin(), rows.end(),
              [this](int a, int b) { return m_media->entryIndex(a) < m_media->entryIndex(b); });
    // The first names as the dialog shows them, with and without the largest variants.
    QList<NameFields> first;
    QList<NameFields> firstLargest;
    const QList<int> firstRows = rows.mid(0, SavePicturesDialog::previewCount);
    SaveOptions plain;
    SaveOptions largest;
    largest.largestVariant = true;
    for (const MediaSaver::Item &item : planSave(firstRows, plain)) {
        if (!item.variant && first.size() < SavePicturesDialog::previewCount)
            first.append(nameFields(item.picture, m_media->entriesOfRow(item.picture).constFirst(),
                                    int(first.size()) + 1, int(rows.size())));
    }
    int n = 0;
    for (const MediaSaver::Item &item : planSave(firstRows, largest)) {
        const QList<int> entries = m_media->entriesOfRow(item.picture);
        int entry = entries.constFirst();
        for (const int index : entries) {
            if (inventory().pictures.at(index).address == item.address)
                entry = index;
        }
        firstLargest.append(nameFields(item.picture, entry, ++n, int(rows.size())));
    }
    QString host = QUrl(inventory().pageAddress).host();
    SavePicturesDialog dialog(
        m_product, all ? tr("Save All Pictures") : tr("Save Selected Pictures"), first,
        firstLargest, int(rows.size()),
        host.isEmpty() ? QStringLiteral("pictures") : host + QStringLiteral(" pictures"), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (all)
        saveAll(dialog.options());
    else
        saveSelected(dialog.options());
}

bool PageInfoWindow::exportTo(const QString &path, QString *error) const
{
    QList<InventoryEntry> shown;
    QList<PictureAnswer> answers;
    QList<PictureReport> reports;
    for (int row = 0; row < m_filter->rowCount(); ++row) {
        const int source = m_filter->mapToSource(m_filter->index(row, 0)).row();
        shown.append(m_media->entry(source));
        answers.append(m_media->answer(source));
        reports.append(
            {m_media->sourcesKnown() ? PictureSource::name(m_media->source(source)) : QString(),
             m_media->state(source), m_media->issues(source)});
    }
    const QByteArray bytes = path.endsWith(QLatin1String(".json"), Qt::CaseInsensitive)
                                 ? MediaJson(inventory(), shown, answers, reports)
                                 : MediaCsv(shown, answers, reports);
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    if (error)
        *error = file.errorString();
    return false;
}

void PageInfoWindow::chooseExportFile()
{
    QString chosenFilter;
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Export the Pictures List"),
        QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
            .filePath(QStringLiteral("pictures.csv")),
        tr("CSV table (*.csv);;JSON (*.json)"), &chosenFilter);
    if (path.isEmpty())
        return;
    QString target = path;
    if (QFileInfo(target).suffix().isEmpty())
        target += chosenFilter.contains(QLatin1String("json")) ? QStringLiteral(".json")
                                                               : QStringLiteral(".csv");
    QString error;
    if (!exportTo(target, &error))
        QMessageBox::warning(
            this, tr("Export"),
            tr("Cannot write %1: %2").arg(QDir::toNativeSeparators(target), error));
}

void PageInfoWindow::restoreLayout()
{
    const Settings settings(m_product);
    const QByteArray geometry = settings.pageInfoGeometry();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
    const QByteArray columns = settings.pageInfoColumns();
    if (!columns.isEmpty())
        m_table->horizontalHeader()->restoreState(columns);
    const QByteArray divider = settings.pageInfoDivider();
    if (!divider.isEmpty())
        m_splitter->restoreState(divider);
    setGrid(settings.pageInfoGrid());
}

void PageInfoWindow::keepLayout() const
{
    if (m_product.isEmpty())
        return;
    Settings settings(m_product);
    settings.setPageInfoGeometry(saveGeometry());
    settings.setPageInfoColumns(m_table->horizontalHeader()->saveState());
    settings.setPageInfoDivider(m_splitter->saveState());
    settings.setPageInfoGrid(m_gridToggle->isChecked());
}

void PageInfoWindow::readServedMarkup(const QUrl &address)
{
    m_servedFor = servedAddress(address);
    m_servedReady = false;
    m_servedInventory = Inventory();
    m_served->start(m_servedFor, m_livePage);
    updateSums();
}

void PageInfoWindow::servedRead(const Inventory &served)
{
    m_servedInventory = served;
    m_servedReady = true;
    if (inventory().valid && servedAddress(QUrl(inventory().pageAddress)) == m_servedFor) {
        m_media->setServed(served);
        emit sourcesShown();
    }
    updateSums();
}

QString PageInfoWindow::sourcesText() const
{
    if (!inventory().valid)
        return {};
    const int all = pictureCount();
    const QString head =
        all == 1 ? tr("1 picture") : tr("%1 pictures").arg(QLocale().toString(all));
    if (!m_media->sourcesKnown()) {
        if (!m_servedReady)
            return head + tr("; reading the markup the server sent\u2026");
        return head + tr("; where they came from is unknown: %1").arg(m_media->servedError());
    }
    const QList<int> counts = m_media->sourceCounts();
    QStringList parts;
    for (const PictureSource::Kind kind :
         {PictureSource::Markup, PictureSource::Script, PictureSource::Style,
          PictureSource::Placeholder, PictureSource::Unknown}) {
        if (counts.at(int(kind)) > 0)
            parts.append(PictureSource::countWords(kind, counts.at(int(kind))));
    }
    return parts.isEmpty() ? head : head + QStringLiteral(": ") + parts.join(QStringLiteral(", "));
}

QString PageInfoWindow::problemsText() const
{
    if (!inventory().valid)
        return {};
    const auto [problems, pictures] = m_media->problemCounts();
    QString text =
        problems == 0
            ? tr("none found")
            : (problems == 1 ? tr("1 problem") : tr("%1 problems").arg(problems)) +
                  (pictures == 1 ? tr(" in 1 picture") : tr(" in %1 pictures").arg(pictures));
    if (!m_media->estimator()->idle())
        text += tr("; estimating what smaller files would save\u2026");
    return text;
}

void PageInfoWindow::updateSums()
{
    m_sumsLater->stop();
    if (auto *label = m_general->findChild<QLabel *>(QStringLiteral("general_sources")))
        label->setText(sourcesText());
    if (auto *label = m_general->findChild<QLabel *>(QStringLiteral("general_problems")))
        label->setText(problemsText());
    // Until the estimates are in, the sums are asked again.
    if (inventory().valid && !m_media->estimator()->idle())
        m_sumsLater->start();
    m_loadLazy->setEnabled(m_livePage && inventory().valid);
}

void PageInfoWindow::setLivePage(QWebEnginePage *page)
{
    if (m_lazy && m_lazy->page() != page) {
        m_lazy->stop();
        m_lazy->deleteLater();
        m_lazy = nullptr;
    }
    m_livePage = page;
    m_loadLazy->setEnabled(m_livePage && inventory().valid);
}

bool PageInfoWindow::loadingLazyPictures() const
{
    return m_lazy && m_lazy->running();
}

void PageInfoWindow::loadLazyPictures()
{
    if (loadingLazyPictures()) {
        m_lazy->stop();
        return;
    }
    if (!m_livePage || !inventory().valid)
        return;
    if (!m_lazy) {
        m_lazy = new LazyLoader(m_livePage, this);
        connect(m_lazy, &LazyLoader::stepped, this, [this](int step) {
            m_lazyStatus->setText(tr("Scrolling the page: step %1\u2026").arg(step));
        });
        connect(m_lazy, &LazyLoader::finished, this, &PageInfoWindow::lazyFinished);
    }
    m_shownBeforeLazy.clear();
    for (int row = 0; row < m_media->rowCount(); ++row) {
        if (m_media->state(row).kind == PictureState::Shown)
            m_shownBeforeLazy.insert(m_media->entry(row).address);
    }
    m_lazy->setBounds(m_lazyBounds);
    m_loadLazy->setText(tr("Stop Loading"));
    m_lazyStatus->setText(tr("Scrolling the page\u2026"));
    m_lazy->start();
}

void PageInfoWindow::lazyFinished(const LazyLoader::Result &result)
{
    m_loadLazy->setText(tr("Load La&zy Pictures"));
    if (result.outcome == LazyLoader::Outcome::PageGone || !m_livePage) {
        m_lazyStatus->setText(result.words());
        emit lazyPicturesLoaded(result);
        return;
    }
    m_lazyStatus->setText(result.words() + tr("; listing the pictures again\u2026"));
    // The picture the user was looking at stays selected.
    const int current = currentRow();
    const QString selected = current >= 0 ? m_media->entry(current).address : QString();
    QPointer<PageInfoWindow> guard(this);
    PageInventory::collect(m_livePage, [guard, result, selected](const Inventory &inventory) {
        if (!guard)
            return;
        if (!inventory.valid) {
            guard->m_lazyStatus->setText(result.words());
            emit guard->lazyPicturesLoaded(result);
            return;
        }
        connect(
            guard.data(), &PageInfoWindow::inventoryShown, guard.data(),
            [guard, result, selected] {
                // The pictures shown now that were not before.
                int more = 0;
                MediaModel *media = guard->m_media;
                for (int row = 0; row < media->rowCount(); ++row) {
                    if (!selected.isEmpty() && media->entry(row).address == selected) {
                        const QModelIndex index =
                            guard->m_filter->mapFromSource(media->index(row, MediaModel::Address));
                        if (index.isValid())
                            guard->m_table->selectionModel()->setCurrentIndex(
                                index,
                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
                    }
                    if (!media->notPicture(row) && media->state(row).kind == PictureState::Shown &&
                        !guard->m_shownBeforeLazy.contains(media->entry(row).address))
                        ++more;
                }
                guard->m_lazyStatus->setText(
                    result.words() + (more == 1 ? tr("; 1 more picture shown")
                                                : tr("; %1 more pictures shown").arg(more)));
                emit guard->lazyPicturesLoaded(result);
            },
            Qt::SingleShotConnection);
        guard->setInventory(inventory);
    });
}
