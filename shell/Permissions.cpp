#include "shell/Permissions.h"

#include "platform/WebBrowser.h"
#include "shell/PageWatch.h"
#include "shell/ViewSwitcher.h"
#include "windows/PermissionBar.h"

Permissions::Permissions(ViewSwitcher *switcher, PermissionBar *bar, QObject *parent)
    : QObject(parent), m_switcher(switcher), m_bar(bar)
{
    WatchPages(switcher, this,
               [this](WebBrowser *view, QWebEnginePage *page) { watch(view, page); });
    connect(m_bar, &PermissionBar::answered, this, &Permissions::answered);
    // Another view shows: what the views that went asked is denied.
    connect(switcher, &ViewSwitcher::currentChanged, this, &Permissions::denyUnseen);
}

void Permissions::watch(WebBrowser *view, QWebEnginePage *page)
{
    connect(page, &QWebEnginePage::featurePermissionRequested, this,
            [this, page](const QUrl &origin, QWebEnginePage::Feature feature) {
                requested(page, origin, feature);
            });
    connect(page, &QWebEnginePage::featurePermissionRequestCanceled, this,
            [this, page](const QUrl &origin, QWebEnginePage::Feature feature) {
                canceled(page, origin, feature);
            });
    // The page goes elsewhere: its questions are moot. (A load that starts
    // while another is under way may not say so: the new address does.)
    connect(page, &QWebEnginePage::loadStarted, this, [this, page] { denyFrom(page); });
    connect(page, &QWebEnginePage::urlChanged, this, [this, page] { denyFrom(page); });
    connect(page, &QObject::destroyed, this, &Permissions::showFirst, Qt::QueuedConnection);
    // The view shows another page (a popup it adopted).
    connect(view, &QWebEngineView::urlChanged, this, &Permissions::denyUnseen,
            Qt::UniqueConnection);
}

QString Permissions::question(const QUrl &origin, QWebEnginePage::Feature feature)
{
    const QString site = SiteName(origin);
    switch (feature) {
    case QWebEnginePage::Geolocation:
        return tr("%1 wants to use your location").arg(site);
    case QWebEnginePage::Notifications:
        return tr("%1 wants to send notifications").arg(site);
    case QWebEnginePage::MediaVideoCapture:
        return tr("%1 wants to use your camera").arg(site);
    case QWebEnginePage::MediaAudioCapture:
        return tr("%1 wants to use your microphone").arg(site);
    case QWebEnginePage::MediaAudioVideoCapture:
        return tr("%1 wants to use your camera and microphone").arg(site);
    case QWebEnginePage::DesktopVideoCapture:
        return tr("%1 wants to share your screen").arg(site);
    case QWebEnginePage::DesktopAudioVideoCapture:
        return tr("%1 wants to share your screen and its sound").arg(site);
    case QWebEnginePage::MouseLock:
        return tr("%1 wants to lock and hide your mouse pointer").arg(site);
    }
    return tr("%1 wants to use something of yours").arg(site);
}

QString Permissions::key(const QUrl &origin, QWebEnginePage::Feature feature)
{
    return origin
               .adjusted(QUrl::RemoveUserInfo | QUrl::RemovePath | QUrl::RemoveQuery |
                         QUrl::RemoveFragment)
               .toString() +
           QLatin1Char(' ') + QString::number(int(feature));
}

bool Permissions::shown(const QWebEnginePage *page) const
{
    return IsShownPage(m_switcher, page);
}

void Permissions::tell(const Request &request, bool allow)
{
    if (request.page)
        request.page->setFeaturePermission(request.origin, request.feature,
                                           allow ? QWebEnginePage::PermissionGrantedByUser
                                                 : QWebEnginePage::PermissionDeniedByUser);
}

void Permissions::requested(QWebEnginePage *page, const QUrl &origin,
                            QWebEnginePage::Feature feature)
{
    const Request request{page, origin, feature};
    const auto known = m_answers.constFind(key(origin, feature));
    if (known != m_answers.cend()) {
        tell(request, *known);
        return;
    }
    if (!shown(page)) {
        tell(request, false);
        return;
    }
    int fromPage = 0;
    for (const Request &waiting : std::as_const(m_queue)) {
        if (waiting.page != page)
            continue;
        // Asked again while the first one waits: one answer serves both.
        if (waiting.feature == feature && key(waiting.origin, feature) == key(origin, feature))
            return;
        ++fromPage;
    }
    if (fromPage >= mostWaiting) {
        tell(request, false);
        return;
    }
    m_queue.append(request);
    showFirst();
}

void Permissions::canceled(QWebEnginePage *page, const QUrl &origin,
                           QWebEnginePage::Feature feature)
{
    m_queue.removeIf([&](const Request &request) {
        return request.page == page && request.feature == feature &&
               key(request.origin, feature) == key(origin, feature);
    });
    showFirst();
}

void Permissions::answered(bool allow)
{
    // Pages that went meanwhile are out of the queue before the answer.
    denyUnseen();
    if (m_queue.isEmpty())
        return;
    const QString answeredKey = key(m_queue.first().origin, m_queue.first().feature);
    m_answers.insert(answeredKey, allow);
    // The same site's same question from another page has its answer too.
    settle(
        [&](const Request &request) { return key(request.origin, request.feature) == answeredKey; },
        allow);
}

void Permissions::denyUnseen()
{
    settle([this](const Request &request) { return !shown(request.page); }, false);
}

void Permissions::denyFrom(const QWebEnginePage *page)
{
    settle([page](const Request &request) { return request.page == page; }, false);
}

void Permissions::settle(const std::function<bool(const Request &)> &which, bool allow)
{
    QList<Request> settled;
    m_queue.removeIf([&](const Request &request) {
        if (!which(request))
            return false;
        settled.append(request);
        return true;
    });
    // The pages hear their answers once the queue is in order.
    for (const Request &request : std::as_const(settled))
        tell(request, allow);
    showFirst();
}

void Permissions::showFirst()
{
    m_queue.removeIf([](const Request &request) { return request.page.isNull(); });
    if (m_queue.isEmpty()) {
        // The keys go back to the page rather than to nowhere.
        if (m_bar->dismiss())
            m_switcher->currentView()->setFocus(Qt::OtherFocusReason);
        return;
    }
    const Request &first = m_queue.first();
    m_bar->ask(question(first.origin, first.feature), int(m_queue.size()) - 1);
}
