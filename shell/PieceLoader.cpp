#include "shell/PieceLoader.h"

#include "platform/WebBrowser.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineScript>

#include <string_view>
#include <utility>

PieceLoader::PieceLoader(WebBrowser *view, QByteArray blockEnd, QObject *parent)
    : QObject(parent), m_view(view), m_blockEnd(std::move(blockEnd))
{
    connect(view, &QWebEngineView::loadStarted, this, &PieceLoader::loadStarted);
    connect(view, &QWebEngineView::loadFinished, this, &PieceLoader::loadFinished);
    // A page can come back without a load of its own (the engine keeps pages
    // for Back and Forward): it is asked whether it is whole.
    connect(view, &QWebEngineView::urlChanged, this, [this](const QUrl &url) {
        if (url == m_url && !m_waitingForFirst && !m_firstPieceLoading)
            QTimer::singleShot(0, this, &PieceLoader::checkWhole);
    });
}

qsizetype PieceLoader::cut(QByteArrayView text, QByteArrayView blockEnd, qsizetype from,
                           qsizetype limit)
{
    if (blockEnd.isEmpty() || text.size() - from <= limit)
        return text.size();
    // The last block end that fits... (Qt 6.4's QByteArrayView::lastIndexOf of a
    // short view finds bytes past its end, so the standard library searches)
    const std::string_view window(text.data() + from, size_t(limit));
    const size_t last = window.rfind(std::string_view(blockEnd.data(), size_t(blockEnd.size())));
    if (last != std::string_view::npos)
        return from + qsizetype(last) + blockEnd.size();
    // ...or, for a block longer than the limit, its own end.
    const qsizetype next = text.indexOf(blockEnd, from);
    return next < 0 ? text.size() : next + blockEnd.size();
}

bool PieceLoader::load(const QString &path)
{
    if (m_firstPieceLoading) {
        // Content handed over while other content is still loading can leave
        // the view under the data: address: the newer file waits for the
        // older load's end (which comes within moments).
        if (!QFileInfo(path).isReadable())
            return false;
        m_queued = path;
        QTimer::singleShot(queueWaitMs, this, [this, generation = m_generation] {
            if (generation == m_generation && !m_queued.isEmpty()) {
                m_firstPieceLoading = false;
                load(std::exchange(m_queued, QString()));
            }
        });
        return true;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray text = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    stopAdding();
    ++m_generation;
    m_path = path;
    m_url = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    const qsizetype first = cut(text, m_blockEnd, 0, firstPieceBytes);
    if (first >= text.size() || first > largestFirstPiece) {
        // Nothing to add later, or a first block too large to hand over as
        // content: the file itself is opened.
        m_expectingStart = false;
        m_waitingForFirst = false;
        return m_view->Navigate2(path);
    }
    m_expectingStart = true;
    m_firstPieceLoading = true;
    m_waitingForFirst = true;
    m_firstOffers = 0;
    m_added = first;
    m_view->showFileContent(text.first(first), path);
    m_text = std::move(text);
    return true;
}

void PieceLoader::loadStarted()
{
    if (m_expectingStart) {
        m_expectingStart = false;
        return;
    }
    // The view goes elsewhere (a link, its history, a reload): the rest of the
    // old page is not wanted.
    stopAdding();
    m_waitingForFirst = false;
}

void PieceLoader::loadFinished(bool ok)
{
    // A load begun while another was under way adds no start of its own:
    // either way the view now rests on the last one.
    m_expectingStart = false;
    m_firstPieceLoading = false;
    if (!m_queued.isEmpty()) {
        load(std::exchange(m_queued, QString()));
        return;
    }
    if (m_waitingForFirst) {
        // The view's address can still be the content's data: address here, and
        // the load that finished may be one that the first piece replaced: the
        // page itself tells, when the first slice is offered to it.
        addNextSlice();
        return;
    }
    if (ok)
        checkWhole();
}

void PieceLoader::checkWhole()
{
    // Only a document made of pieces (its history entry holds the content's
    // data: address) can lack some; the file opened whole never does.
    if (m_waitingForFirst || m_firstPieceLoading || adding() || m_view->url() != m_url ||
        m_view->page()->history()->currentItem().url().scheme() != QLatin1String("data"))
        return;
    // Back at a page of this file that does not hold all of it (a first piece
    // from the history): it shows the file as it is now, whole, as opening the
    // file would.
    const quint64 generation = m_generation;
    const QPointer<PieceLoader> self(this);
    m_view->page()->runJavaScript(
        QStringLiteral("window.quarrowWhole === %1").arg(generation),
        QWebEngineScript::ApplicationWorld, [self, generation](const QVariant &whole) {
            if (self && generation == self->m_generation && !whole.toBool() &&
                !self->m_waitingForFirst && !self->m_firstPieceLoading && !self->adding() &&
                self->m_view->url() == self->m_url)
                self->load(self->m_path);
        });
}

void PieceLoader::addNextSlice()
{
    if (m_text.isEmpty())
        return;
    if (m_added >= m_text.size()) {
        // The page now holds the whole file: it says so when asked again.
        m_view->page()->runJavaScript(QStringLiteral("window.quarrowWhole = %1;").arg(m_generation),
                                      QWebEngineScript::ApplicationWorld);
        stopAdding();
        return;
    }
    const qsizetype end = cut(m_text, m_blockEnd, m_added, sliceBytes);
    const QString slice = QString::fromUtf8(QByteArrayView(m_text).sliced(m_added, end - m_added));
    // Each slice becomes a block of its own at the end of the body; a page
    // that is not this one takes nothing.
    const QString script =
        QStringLiteral("(function (page, html) {"
                       "  if (location.href !== page || !document.body) return false;"
                       "  var piece = document.createElement('div');"
                       "  piece.className = 'quarrow-piece';"
                       "  piece.innerHTML = html;"
                       "  document.body.appendChild(piece);"
                       "  return true;"
                       "})(%1, %2)")
            .arg(WebBrowser::scriptString(m_url.toString(QUrl::FullyEncoded)),
                 WebBrowser::scriptString(slice));
    const quint64 generation = m_generation;
    const QPointer<PieceLoader> self(this);
    m_view->page()->runJavaScript(
        script, QWebEngineScript::ApplicationWorld, [self, generation, end](const QVariant &added) {
            if (!self || generation != self->m_generation || self->m_text.isEmpty())
                return;
            if (added.toBool()) {
                self->m_waitingForFirst = false;
                self->m_added = end;
                self->addNextSlice();
            } else if (!self->m_waitingForFirst) {
                // The view has gone elsewhere meanwhile.
                self->stopAdding();
            } else if (++self->m_firstOffers < maxFirstOffers) {
                // The first piece is not in yet: the slice is offered again a
                // little later (or when its load ends).
                QTimer::singleShot(firstOfferIntervalMs, self, [self, generation] {
                    if (self && generation == self->m_generation && self->m_waitingForFirst)
                        self->addNextSlice();
                });
            }
        });
}

void PieceLoader::stopAdding()
{
    m_text = QByteArray();
    m_added = 0;
}
