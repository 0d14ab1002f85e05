#include "shell/HistoryRecorder.h"

#include "platform/History.h"

#include <QWebEngineView>

HistoryRecorder::HistoryRecorder(QWebEngineView *view, History *history,
                                 std::function<bool(const QUrl &)> ignored, QObject *parent)
    : QObject(parent), m_view(view), m_history(history), m_ignored(std::move(ignored))
{
    connect(view, &QWebEngineView::loadStarted, this, &HistoryRecorder::loadStarted);
    connect(view, &QWebEngineView::loadFinished, this, &HistoryRecorder::loadFinished);
    connect(view, &QWebEngineView::titleChanged, this, &HistoryRecorder::titleChanged);
    // What shows after the page's process ended is not the page.
    connect(view, &QWebEngineView::renderProcessTerminated, this, [this] { m_visit.clear(); });
}

void HistoryRecorder::loadStarted()
{
    m_loading = true;
}

void HistoryRecorder::loadFinished(bool ok)
{
    m_loading = false;
    if (!m_view || !m_history)
        return;
    const QUrl url = m_view->url();
    if (!ok) {
        // A failed or stopped load: what the view shows now is not the page
        // that was kept, whatever its address.
        m_visit.clear();
        return;
    }
    if (m_ignored && m_ignored(url)) {
        m_visit.clear();
        return;
    }
    const QString title = titleOf(m_view->title());
    if (url == m_visit) {
        // The same page again (a reload, its address once more, a download
        // it started) is the visit it was.
        m_history->setTitle(url, title);
        return;
    }
    m_visit = m_history->addVisit(url, title) ? url : QUrl();
}

void HistoryRecorder::titleChanged(const QString &title)
{
    // A title of a load that is under way may be that of an error page; the
    // load's end takes the title it has by then.
    if (m_loading || !m_view || !m_history || m_visit.isEmpty() || m_view->url() != m_visit)
        return;
    m_history->setTitle(m_visit, titleOf(title));
}

QString HistoryRecorder::titleOf(const QString &title) const
{
    // A page without a title of its own is shown by the engine under its
    // address, without the scheme.
    const QUrl url = m_view->url();
    if (title == url.toString() || title == url.toString(QUrl::RemoveScheme).mid(2) ||
        title == url.toString(QUrl::RemoveScheme | QUrl::RemoveQuery | QUrl::RemoveFragment).mid(2))
        return {};
    return title;
}
