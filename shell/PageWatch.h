#pragma once

#include "platform/WebBrowser.h"
#include "shell/ViewSwitcher.h"

#include <QObject>
#include <QWebEnginePage>

// Calls `watch(view, page)` for the page each view of `switcher` has now and
// for every page a view makes later, for as long as `context` lives.
template <typename Watch>
void WatchPages(const ViewSwitcher *switcher, QObject *context, Watch watch)
{
    for (WebBrowser *view : switcher->views()) {
        watch(view, view->page());
        QObject::connect(view, &WebBrowser::pageCreated, context,
                         [view, watch](QWebEnginePage *page) { watch(view, page); });
    }
}

// True when `page` is the page that the window shows.
inline bool IsShownPage(const ViewSwitcher *switcher, const QWebEnginePage *page)
{
    return page && switcher->currentView()->page() == page;
}

// The site an origin or address names, as a user reads it: its host, with its
// port when the address gives one.
inline QString SiteName(const QUrl &url)
{
    const QString authority = url.adjusted(QUrl::RemoveUserInfo).authority();
    return authority.isEmpty() ? url.toDisplayString(QUrl::RemoveUserInfo) : authority;
}
