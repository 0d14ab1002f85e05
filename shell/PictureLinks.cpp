#include "shell/PictureLinks.h"

#include "platform/PageOutline.h"
#include "platform/PicturePlaces.h"
#include "platform/WebBrowser.h"
#include "shell/GeneratedViews.h"
#include "windows/MediaModels.h"
#include "windows/PageInfoWindow.h"

#include <QFile>
#include <QListView>
#include <QMenu>
#include <QTabWidget>
#include <QTableView>
#include <QWebEngineContextMenuRequest>
#include <QWebEnginePage>
#include <QWebEngineScript>

#include <algorithm>

namespace {

QString markScript()
{
    static const QString text = [] {
        QFile file(QStringLiteral(":/app/views/mark.js"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed()
                                              : QString();
    }();
    return text;
}

QUrl withoutFragment(const QUrl &url)
{
    return url.adjusted(QUrl::RemoveFragment);
}

// Why the page shows no box for a picture that an element names.
QString notShown(const PicturePlace &place)
{
    if (place.kind == QLatin1String("meta"))
        return PictureLinks::tr(
            "The page does not show this picture: only a meta tag in its head names it, for "
            "other sites to show.");
    if (place.kind == QLatin1String("icon"))
        return PictureLinks::tr("The page does not show this picture: it is the page's icon.");
    if (place.kind == QLatin1String("link") && place.element == QLatin1String("link"))
        return PictureLinks::tr(
            "The page does not show this picture: only a link in its head names it.");
    return PictureLinks::tr("The page does not show this picture now: %1, which uses it, is "
                            "hidden.")
        .arg(place.element);
}

} // namespace

PictureLinks::PictureLinks(WebBrowser *live, WebBrowser *source, GeneratedViews *generated,
                           QObject *parent)
    : QObject(parent), m_live(live), m_source(source), m_generated(generated)
{
    m_outline = new PageOutline(live);
    m_outlineEnd.setSingleShot(true);
    m_outlineEnd.setInterval(outlineMilliseconds);
    connect(&m_outlineEnd, &QTimer::timeout, this, &PictureLinks::endOutline);
    // The element may move while it is outlined (the page scrolls, or lays
    // itself out again): the outline follows it.
    m_follow.setInterval(followMilliseconds);
    connect(&m_follow, &QTimer::timeout, this, &PictureLinks::follow);
    // Another page, or a new load of the same one: the outline goes.
    connect(live, &QWebEngineView::urlChanged, this, &PictureLinks::endOutline);
    connect(live, &QWebEngineView::loadStarted, this, &PictureLinks::endOutline);
    // The engine's context menu, with a way from a picture to its row.
    live->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(live, &QWidget::customContextMenuRequested, this, &PictureLinks::contextMenu);
}

PictureLinks::~PictureLinks()
{
    disconnect(m_scrolled);
    disconnect(m_sourceLoaded);
}

void PictureLinks::say(const QString &text)
{
    emit said(text);
}

bool PictureLinks::showsPage(const QUrl &page)
{
    if (!m_live)
        return false;
    if (withoutFragment(page) == withoutFragment(m_live->url()))
        return true;
    say(tr("The Browser tab shows another page now: %1").arg(m_live->url().toDisplayString()));
    return false;
}

bool PictureLinks::styled(const QStringList &addresses, const Inventory &inventory)
{
    return std::any_of(inventory.pictures.cbegin(), inventory.pictures.cend(),
                       [&addresses](const InventoryEntry &entry) {
                           return entry.kinds.contains(QLatin1String("css")) &&
                                  addresses.contains(entry.address);
                       });
}

void PictureLinks::showInPage(const QStringList &addresses, const Inventory &inventory)
{
    if (addresses.isEmpty() || !showsPage(QUrl(inventory.pageAddress)))
        return;
    endOutline();
    QPointer<PictureLinks> self(this);
    PicturePlaces::show(
        m_live->page(), addresses, styled(addresses, inventory), [self](const PicturePlace &place) {
            if (!self || !self->m_live)
                return;
            switch (place.found) {
            case PicturePlace::Found::NoAnswer:
                self->say(tr("The Browser tab's page did not answer."));
                return;
            case PicturePlace::Found::Nowhere:
                self->say(tr("No element of the page uses this picture now."));
                return;
            case PicturePlace::Found::NoBox:
                self->say(notShown(place));
                return;
            case PicturePlace::Found::Shown:
                break;
            }
            emit self->viewWanted(View::Live);
            self->say(tr("In the page: %1").arg(place.element));
            self->outlineAt(place.box);
            self->m_outlineEnd.start();
            self->m_follow.start();
            self->m_scrolled = connect(self->m_live->page(), &QWebEnginePage::scrollPositionChanged,
                                       self, &PictureLinks::follow, Qt::UniqueConnection);
        });
}

void PictureLinks::outlineAt(const QRectF &cssBox)
{
    if (!m_outline || !m_live)
        return;
    if (cssBox.isNull()) {
        endOutline();
        return;
    }
    const double zoom = m_live->zoomFactor();
    const QRectF scaled(cssBox.x() * zoom, cssBox.y() * zoom, cssBox.width() * zoom,
                        cssBox.height() * zoom);
    // A part larger than the view is surrounded where the view shows it.
    const int ring = PageOutline::ringWidth;
    const QRect inView = m_live->rect().adjusted(ring, ring, -ring, -ring);
    QRect box = scaled.toAlignedRect().intersected(inView);
    if (box.isEmpty())
        box = QRect(scaled.toAlignedRect().topLeft(), QSize(1, 1)).intersected(inView);
    if (box.isEmpty()) {
        m_outline->hide();
        return;
    }
    if (m_outline->isVisible() && m_outline->surrounded() == box)
        return;
    m_outline->surround(box);
    emit outlined(box);
}

void PictureLinks::follow()
{
    if (!m_live || !m_outlineEnd.isActive())
        return;
    QPointer<PictureLinks> self(this);
    PicturePlaces::measure(m_live->page(), [self](const QRectF &box) {
        if (self && self->m_outlineEnd.isActive())
            self->outlineAt(box);
    });
}

void PictureLinks::endOutline()
{
    m_follow.stop();
    disconnect(m_scrolled);
    const bool shown = m_outlineEnd.isActive() || (m_outline && m_outline->isVisible());
    m_outlineEnd.stop();
    if (m_outline)
        m_outline->hide();
    if (shown)
        emit outlineEnded();
}

void PictureLinks::showInSource(const QStringList &addresses, const Inventory &inventory)
{
    if (addresses.isEmpty() || !showsPage(QUrl(inventory.pageAddress)))
        return;
    QPointer<PictureLinks> self(this);
    PicturePlaces::findInMarkup(
        m_live->page(), addresses, styled(addresses, inventory), [self](const MarkupPlace &place) {
            if (!self || !self->m_live)
                return;
            if (!place.answered) {
                self->say(tr("The Browser tab's page did not answer."));
                return;
            }
            if (!place.found) {
                self->say(tr("No element of the page uses this picture now."));
                return;
            }
            if (!place.inBody) {
                self->say(tr("The Source Code tab shows the page's body: %1, which names this "
                             "picture, is in its head.")
                              .arg(place.element));
                return;
            }
            const quint64 generation = self->m_generated->generation();
            if (generation == 0 || withoutFragment(self->m_generated->harvestedPage()) !=
                                       withoutFragment(self->m_live->url())) {
                self->say(tr("The Source Code tab does not show this page yet."));
                return;
            }
            const int line = place.lineIn(self->m_generated->markupOf(generation));
            if (line == 0) {
                self->say(tr("The page has changed since its Source Code tab was made: the line "
                             "of %1 is not known.")
                              .arg(place.holder));
                return;
            }
            QString what = place.element;
            if (place.through == QLatin1String("frame"))
                what = tr("%1, in the frame %2").arg(place.element, place.holder);
            else if (place.through == QLatin1String("shadow"))
                what = tr("%1, in the shadow tree of %2").arg(place.element, place.holder);
            emit self->viewWanted(View::Source);
            self->markLine(generation, line, what);
        });
}

void PictureLinks::markLine(quint64 generation, int line, const QString &what)
{
    stopWaitingForSource();
    if (!m_source)
        return;
    const QUrl address = GeneratedViews::sourceAddress(generation);
    const auto mark = [this, line, what] {
        QPointer<PictureLinks> self(this);
        m_source->page()->runJavaScript(
            markScript() + QStringLiteral("(%1)").arg(line), QWebEngineScript::ApplicationWorld,
            [self, line, what](const QVariant &marked) {
                if (!self)
                    return;
                if (!marked.toBool()) {
                    self->say(tr("The Source Code tab has no line %1.").arg(line));
                    return;
                }
                self->say(tr("Line %1: %2").arg(line).arg(what));
                emit self->lineMarked(line);
            });
    };
    if (m_source->url() == address && !m_source->Busy()) {
        mark();
        return;
    }
    // The view loads the harvest's page when it first shows: the line is
    // marked once it has, unless a newer harvest comes first.
    m_sourceLoaded = connect(m_source, &QWebEngineView::loadFinished, this,
                             [this, generation, address, mark](bool ok) {
                                 if (m_generated->generation() != generation) {
                                     stopWaitingForSource();
                                     return;
                                 }
                                 if (!ok || m_source->url() != address)
                                     return;
                                 stopWaitingForSource();
                                 mark();
                             });
}

void PictureLinks::stopWaitingForSource()
{
    disconnect(m_sourceLoaded);
}

void PictureLinks::selectInPageInfo(PageInfoWindow *window, const QStringList &addresses)
{
    if (!window)
        return;
    const MediaModel *media = window->mediaModel();
    const Inventory &inventory = media->inventory();
    // The inventory's addresses are as the engine writes them; the context
    // menu's may be written otherwise.
    int entry = -1;
    for (const QString &address : addresses) {
        for (int i = 0; i < inventory.pictures.size() && entry < 0; ++i) {
            if (inventory.pictures.at(i).address == address)
                entry = i;
        }
        if (entry >= 0)
            break;
        const QUrl wanted(address);
        for (int i = 0; i < inventory.pictures.size() && entry < 0; ++i) {
            if (QUrl(inventory.pictures.at(i).address) == wanted)
                entry = i;
        }
        if (entry >= 0)
            break;
    }
    int row = -1;
    for (int r = 0; entry >= 0 && r < media->rowCount() && row < 0; ++r) {
        if (media->entriesOfRow(r).contains(entry))
            row = r;
    }
    if (row < 0) {
        say(tr("Page Info does not list this picture."));
        return;
    }
    const QModelIndex shown =
        window->mediaFilter()->mapFromSource(media->index(row, MediaModel::Address));
    if (!shown.isValid()) {
        say(tr("Page Info lists this picture, but its filter hides it."));
        return;
    }
    QTabWidget *tabs = window->tabs();
    for (int tab = 0; tab < tabs->count(); ++tab) {
        if (tabs->widget(tab)->isAncestorOf(window->mediaTable()))
            tabs->setCurrentIndex(tab);
    }
    window->mediaTable()->selectionModel()->setCurrentIndex(
        shown, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    window->mediaTable()->scrollTo(shown, QAbstractItemView::PositionAtCenter);
    window->mediaGrid()->scrollTo(shown.siblingAtColumn(MediaModel::Preview),
                                  QAbstractItemView::PositionAtCenter);
    say(tr("Page Info: %1").arg(inventory.pictures.at(entry).displayAddress));
}

void PictureLinks::contextMenu(const QPoint &at)
{
    if (!m_live)
        return;
    QMenu *menu = m_live->createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose, true);
    QStringList addresses;
    if (const QWebEngineContextMenuRequest *request = m_live->lastContextMenuRequest();
        request && request->mediaType() == QWebEngineContextMenuRequest::MediaTypeImage &&
        request->mediaUrl().isValid())
        addresses.append(request->mediaUrl().toString(QUrl::FullyEncoded));
    QAction *separator = menu->addSeparator();
    QAction *pageInfo = menu->addAction(tr("Show in Page &Info"));
    pageInfo->setObjectName(QStringLiteral("showInPageInfo"));
    pageInfo->setData(addresses);
    separator->setVisible(!addresses.isEmpty());
    pageInfo->setVisible(!addresses.isEmpty());
    connect(pageInfo, &QAction::triggered, this,
            [this, pageInfo] { emit pageInfoWanted(pageInfo->data().toStringList()); });
    // The engine names the picture of an img only: a background, a poster or
    // an SVG picture under the pointer is asked of the page, and the entry
    // shows (or takes them as well) when the answer comes.
    QPointer<PictureLinks> self(this);
    QPointer<QMenu> shown(menu);
    QPointer<QAction> line(separator);
    const double zoom = m_live->zoomFactor() > 0 ? m_live->zoomFactor() : 1.0;
    PicturePlaces::picturesAt(m_live->page(), QPointF(at) / zoom,
                              [self, shown, line, pageInfo](const QStringList &found) {
                                  if (!self || !shown)
                                      return;
                                  QStringList all = pageInfo->data().toStringList();
                                  for (const QString &address : found) {
                                      if (!all.contains(address))
                                          all.append(address);
                                  }
                                  pageInfo->setData(all);
                                  pageInfo->setVisible(!all.isEmpty());
                                  if (line)
                                      line->setVisible(!all.isEmpty());
                                  emit self->contextMenuShown(shown);
                              });
    menu->popup(m_live->mapToGlobal(at));
}
