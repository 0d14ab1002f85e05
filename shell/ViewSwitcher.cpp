#include "shell/ViewSwitcher.h"

#include "platform/WebBrowser.h"

#include <QWebEngineHistory>

ViewSwitcher::ViewSwitcher(const std::array<WebBrowser *, 3> &views, QObject *parent)
    : QObject(parent), m_views(views)
{
    for (View which : {View::Live, View::Source, View::Images})
        watch(which);
    for (View which : {View::Live, View::Source, View::Images})
        view(which)->setVisible(which == m_current);
}

void ViewSwitcher::watch(View which)
{
    WebBrowser *browser = view(which);
    const auto shows = [this, which] { return which == m_current; };
    connect(browser, &WebBrowser::StatusTextChange, this,
            [this, which, shows](int, const QString &text) {
                m_state[size_t(which)].status = text;
                if (shows())
                    emit statusTextChanged(text);
            });
    connect(browser, &WebBrowser::ProgressChange, this,
            [this, which, shows](int, int progress, int progressMax) {
                m_state[size_t(which)].progress = progress;
                m_state[size_t(which)].progressMax = progressMax;
                if (shows())
                    emit progressChanged(progress, progressMax);
            });
    connect(browser, &WebBrowser::TitleChange, this, [this, browser, shows](int, const QString &) {
        if (shows())
            emit titleChanged(browser->LocationName());
    });
    const auto navigation = [this, shows] {
        if (shows())
            sayNavigation();
    };
    connect(browser, &QWebEngineView::loadStarted, this, navigation);
    connect(browser, &QWebEngineView::loadFinished, this, navigation);
    connect(browser, &QWebEngineView::urlChanged, this, navigation);
    // A popup that the view takes over arrives with its load already under way
    // or done: its title comes with it.
    connect(browser, &WebBrowser::DownloadComplete, this, navigation);
}

void ViewSwitcher::show(View which)
{
    if (which == m_current && view(which)->isVisible()) {
        replay();
        return;
    }
    // The view that comes shows before the one that goes hides, so that the
    // window never shows no view at all.
    view(which)->setVisible(true);
    for (View other : {View::Live, View::Source, View::Images}) {
        if (other != which)
            view(other)->setVisible(false);
    }
    m_current = which;
    emit currentChanged(which);
    replay();
}

void ViewSwitcher::replay()
{
    const State &state = m_state[size_t(m_current)];
    emit statusTextChanged(state.status);
    emit progressChanged(state.progress, state.progressMax);
    emit titleChanged(currentView()->LocationName());
    sayNavigation();
}

void ViewSwitcher::sayNavigation()
{
    const WebBrowser *shown = currentView();
    emit navigationChanged(shown->history()->canGoBack(), shown->history()->canGoForward(),
                           shown->Busy());
}
