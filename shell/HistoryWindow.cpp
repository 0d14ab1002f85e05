#include "shell/HistoryWindow.h"

#include "platform/History.h"
#include "windows/WindowPlacement.h"

#include <QAbstractTableModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

// The visits as the window lists them: plain text only.
class VisitListModel : public QAbstractTableModel {
public:
    enum Column { Title, Address, Visited, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    void setEntries(QList<HistoryEntry> entries)
    {
        beginResetModel();
        m_entries = std::move(entries);
        endResetModel();
    }
    const QList<HistoryEntry> &entries() const { return m_entries; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(m_entries.size());
    }
    int columnCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : ColumnCount;
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= m_entries.size())
            return {};
        const HistoryEntry &entry = m_entries[index.row()];
        if (role == Qt::ToolTipRole)
            return entry.url.toString();
        if (role != Qt::DisplayRole)
            return {};
        switch (index.column()) {
        case Title:
            return entry.title.isEmpty() ? entry.url.toString() : entry.title;
        case Address:
            return entry.url.toString();
        case Visited:
            return QLocale().toString(entry.visited.toLocalTime(), QLocale::ShortFormat);
        default:
            return {};
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        switch (section) {
        case Title:
            return HistoryWindow::tr("Title");
        case Address:
            return HistoryWindow::tr("Address");
        case Visited:
            return HistoryWindow::tr("Visited");
        default:
            return {};
        }
    }

private:
    QList<HistoryEntry> m_entries;
};

HistoryWindow::HistoryWindow(History *history, QWidget *owner)
    : QDialog(owner), m_history(history), m_model(new VisitListModel(this))
{
    setObjectName(QStringLiteral("HistoryWindow"));
    setWindowTitle(tr("History"));

    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("historyFilter"));
    m_filter->setPlaceholderText(tr("Find in history"));
    m_filter->setClearButtonEnabled(true);
    m_filter->installEventFilter(this);

    m_list = new QTreeView(this);
    m_list->setObjectName(QStringLiteral("historyList"));
    m_list->setModel(m_model);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setAllColumnsShowFocus(true);
    m_list->setAlternatingRowColors(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setTextElideMode(Qt::ElideRight);
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setSectionResizeMode(VisitListModel::Address, QHeaderView::Stretch);
    m_list->setColumnWidth(VisitListModel::Title, 320);
    m_list->setColumnWidth(VisitListModel::Visited, 140);

    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("historyCount"));
    m_count->setTextFormat(Qt::PlainText);
    m_open = new QPushButton(tr("&Open"), this);
    m_open->setObjectName(QStringLiteral("historyOpen"));
    // Enter in the filter or the list opens the chosen visit.
    m_open->setDefault(true);
    auto *close = new QPushButton(tr("Close"), this);
    close->setAutoDefault(false);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_count, 1);
    buttons->addWidget(m_open);
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_filter);
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons);

    connect(m_filter, &QLineEdit::textChanged, this, &HistoryWindow::refresh);
    connect(m_list, &QAbstractItemView::doubleClicked, this, &HistoryWindow::openChosen);
    connect(m_open, &QPushButton::clicked, this, &HistoryWindow::openChosen);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    if (m_history) {
        // The list follows the history while it shows.
        connect(m_history, &History::changed, this, [this] {
            if (isVisible())
                refresh();
        });
    }
    CloseWithKeys(this);
    resize(880, 520);
}

void HistoryWindow::refresh()
{
    // The chosen visit stays chosen when it is still listed.
    QUrl chosenUrl;
    QDateTime chosenTime;
    if (const QModelIndex chosen = m_list->currentIndex(); chosen.isValid()) {
        chosenUrl = m_model->entries().at(chosen.row()).url;
        chosenTime = m_model->entries().at(chosen.row()).visited;
    }
    m_model->setEntries(m_history ? m_history->recentVisits(m_filter->text(), listedVisits)
                                  : QList<HistoryEntry>());
    const QList<HistoryEntry> &entries = m_model->entries();
    for (qsizetype row = 0; !chosenUrl.isEmpty() && row < entries.size(); ++row) {
        if (entries[row].url == chosenUrl && entries[row].visited == chosenTime) {
            m_list->setCurrentIndex(m_model->index(int(row), 0));
            break;
        }
    }
    showCount();
}

void HistoryWindow::showCount()
{
    const int listed = m_model->rowCount();
    const int total = m_history ? m_history->visitCount() : 0;
    if (!m_filter->text().trimmed().isEmpty())
        m_count->setText(tr("%1 found").arg(listed));
    else if (listed < total)
        m_count->setText(tr("The newest %1 of %2 visits").arg(listed).arg(total));
    else
        m_count->setText(listed == 1 ? tr("1 visit") : tr("%1 visits").arg(listed));
    m_open->setEnabled(listed > 0);
}

QList<QUrl> HistoryWindow::listed() const
{
    QList<QUrl> urls;
    for (const HistoryEntry &entry : m_model->entries())
        urls << entry.url;
    return urls;
}

void HistoryWindow::openChosen()
{
    QModelIndex chosen = m_list->currentIndex();
    if (!chosen.isValid())
        chosen = m_model->index(0, 0);
    if (!chosen.isValid())
        return;
    const QUrl address = m_model->entries().at(chosen.row()).url;
    accept();
    emit openRequested(address);
}

bool HistoryWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_filter && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if ((key == Qt::Key_Down || key == Qt::Key_PageDown) && m_model->rowCount() > 0) {
            // From the filter down into the list.
            m_list->setFocus(Qt::TabFocusReason);
            if (!m_list->currentIndex().isValid())
                m_list->setCurrentIndex(m_model->index(0, 0));
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void HistoryWindow::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    refresh();
    m_filter->setFocus(Qt::ActiveWindowFocusReason);
    m_filter->selectAll();
}
