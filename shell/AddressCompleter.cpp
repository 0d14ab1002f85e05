#include "shell/AddressCompleter.h"

#include "platform/History.h"

#include <QAbstractItemView>
#include <QAbstractListModel>
#include <QApplication>
#include <QCompleter>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QStyledItemDelegate>

#include <cmath>

// The suggestions as the completer's list shows them: plain text only.
class SuggestionModel : public QAbstractListModel {
public:
    enum { TitleRole = Qt::UserRole + 1 };

    using QAbstractListModel::QAbstractListModel;

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
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= m_entries.size())
            return {};
        const HistoryEntry &entry = m_entries[index.row()];
        switch (role) {
        case Qt::EditRole:
        case Qt::ToolTipRole:
            // What goes into the box.
            return entry.url.toString();
        case Qt::DisplayRole:
            return entry.title.isEmpty()
                       ? entry.url.toString()
                       : entry.title + QStringLiteral(" \u2013 ") + entry.url.toString();
        case TitleRole:
            return entry.title;
        default:
            return {};
        }
    }

private:
    QList<HistoryEntry> m_entries;
};

namespace {

// A suggestion's title, and its address after it in the colour of links.
// Both are drawn as text, whatever they hold.
class SuggestionDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        item.text.clear();
        const QStyle *style = item.widget ? item.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &item, painter, item.widget);

        const bool selected = item.state & QStyle::State_Selected;
        const QPalette &palette = item.palette;
        const QFontMetrics metrics(item.font);
        QRect place = item.rect.adjusted(6, 0, -6, 0);
        painter->save();
        painter->setFont(item.font);
        const QString title = index.data(SuggestionModel::TitleRole).toString();
        if (!title.isEmpty()) {
            // The whole title when it fits in three fifths of the row.
            const int natural =
                int(std::ceil(QFontMetricsF(item.font).horizontalAdvance(title))) + 2;
            const int width = std::min(natural, place.width() * 3 / 5);
            painter->setPen(palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
            painter->drawText(QRect(place.left(), place.top(), width, place.height()),
                              Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                              metrics.elidedText(title, Qt::ElideRight, width));
            place.setLeft(place.left() + width + metrics.horizontalAdvance(QStringLiteral("   ")));
        }
        painter->setPen(palette.color(selected ? QPalette::HighlightedText : QPalette::Link));
        painter->drawText(
            place, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
            metrics.elidedText(index.data(Qt::EditRole).toString(), Qt::ElideRight, place.width()));
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(std::max(size.height(), QFontMetrics(option.font).height() + 8));
        return size;
    }
};

} // namespace

AddressCompleter::AddressCompleter(History *history, QLineEdit *box)
    : QObject(box), m_history(history), m_box(box), m_completer(new QCompleter(this)),
      m_model(new SuggestionModel(this))
{
    // The list shows the store's answer as it is, in its order: the
    // completer neither filters it nor completes the text inline.
    m_completer->setModel(m_model);
    m_completer->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    m_completer->setMaxVisibleItems(maxSuggestions);
    m_completer->setWidget(box);
    QAbstractItemView *list = m_completer->popup();
    list->setObjectName(QStringLiteral("addressSuggestions"));
    list->setItemDelegate(new SuggestionDelegate(list));
    list->setTextElideMode(Qt::ElideRight);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Ahead of the completer's own handling of the list's keys.
    list->installEventFilter(this);
    box->installEventFilter(this);

    connect(box, &QLineEdit::textEdited, this, &AddressCompleter::offer);
    // The address of the suggestion the arrows reach shows in the box; past
    // the first one, what was typed.
    connect(m_completer, qOverload<const QModelIndex &>(&QCompleter::highlighted), this,
            [this](const QModelIndex &index) {
                m_box->setText(index.isValid() ? index.data(Qt::EditRole).toString() : m_typed);
            });
    connect(list, &QAbstractItemView::clicked, this, [this](const QModelIndex &index) {
        if (!index.isValid())
            return;
        m_box->setText(index.data(Qt::EditRole).toString());
        closeList();
        emit accepted();
    });
    if (m_history) {
        connect(m_history, &History::cleared, this, [this] {
            closeList();
            m_model->setEntries({});
        });
    }
}

QStringList AddressCompleter::suggestions() const
{
    QStringList addresses;
    for (const HistoryEntry &entry : m_model->entries())
        addresses << entry.url.toString();
    return addresses;
}

bool AddressCompleter::listShown() const
{
    return m_completer->popup()->isVisible();
}

void AddressCompleter::offer(const QString &text)
{
    m_typed = text;
    m_model->setEntries(m_history ? m_history->suggestions(text, maxSuggestions)
                                  : QList<HistoryEntry>());
    if (m_model->rowCount() == 0) {
        closeList();
        return;
    }
    m_completer->complete();
    // Nothing is chosen until the arrows choose it: Enter opens what was typed.
    m_completer->popup()->selectionModel()->clear();
}

void AddressCompleter::closeList()
{
    QAbstractItemView *list = m_completer->popup();
    if (!list->isVisible())
        return;
    list->hide();
    // The keys go back to the box's window, on a platform that made the list
    // the active window too.
    QWidget *window = m_box->window();
    if (QApplication::activeWindow() != window && window->isVisible())
        window->activateWindow();
}

bool AddressCompleter::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    QAbstractItemView *list = m_completer->popup();
    if (watched == m_box) {
        // Down opens the list for what the box holds.
        if (key->key() == Qt::Key_Down && key->modifiers() == Qt::NoModifier &&
            !list->isVisible() && !m_box->text().isEmpty()) {
            offer(m_box->text());
            return true;
        }
        // Enter that reaches the box itself goes where the box says; the
        // list has had its turn.
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            closeList();
        return QObject::eventFilter(watched, event);
    }
    if (watched != list)
        return QObject::eventFilter(watched, event);
    if (!list->isVisible()) {
        // A key that the window system still sent to the list as it closed
        // (Enter right after Esc) is the box's.
        QCoreApplication::sendEvent(m_box, event);
        return true;
    }
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        const QModelIndex chosen = list->currentIndex();
        if (chosen.isValid() && list->selectionModel()->isSelected(chosen))
            m_box->setText(chosen.data(Qt::EditRole).toString());
        closeList();
        emit accepted();
        return true;
    }
    case Qt::Key_Escape:
        closeList();
        if (m_box->text() != m_typed)
            m_box->setText(m_typed);
        return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        // The keys move on as they would without the list.
        closeList();
        QCoreApplication::sendEvent(m_box, event);
        return true;
    default:
        return QObject::eventFilter(watched, event);
    }
}
