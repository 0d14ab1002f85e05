#include "shell/FullScreen.h"

#include "platform/WebBrowser.h"
#include "shell/PageWatch.h"
#include "shell/ViewSwitcher.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenuBar>
#include <QWebEngineSettings>

FullScreen::FullScreen(QMainWindow *window, ViewSwitcher *switcher)
    : QObject(window), m_window(window), m_switcher(switcher)
{
    WatchPages(switcher, this,
               [this](WebBrowser *view, QWebEnginePage *page) { watch(view, page); });
    // Another view shows: the page that filled the screen is out of sight.
    connect(switcher, &ViewSwitcher::currentChanged, this, &FullScreen::leave);
}

FullScreen::~FullScreen()
{
    qApp->removeEventFilter(this);
}

void FullScreen::watch(WebBrowser *view, QWebEnginePage *page)
{
    // Pages ask the engine for full screen only where it is allowed; what
    // they ask comes here. (A popup takes the setting from the view.)
    page->settings()->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, true);
    connect(page, &QWebEnginePage::fullScreenRequested, this,
            [this, view, page](QWebEngineFullScreenRequest request) {
                requested(view, page, std::move(request));
            });
    // A page that is gone, or whose renderer is, leaves no full-screen window.
    connect(page, &QWebEnginePage::renderProcessTerminated, this, [this, page] {
        if (page == m_page)
            restore();
    });
    connect(page, &QObject::destroyed, this, [this] {
        if (active() && !m_page)
            restore();
    });
}

void FullScreen::requested(WebBrowser *view, QWebEnginePage *page,
                           QWebEngineFullScreenRequest request)
{
    if (!request.toggleOn()) {
        request.accept();
        if (page == m_page)
            restore();
        return;
    }
    // Only the page that shows may fill the screen, and one at a time.
    if (!IsShownPage(m_switcher, page) || (active() && page != m_page)) {
        request.reject();
        return;
    }
    request.accept();
    m_page = page;
    enter(view);
}

void FullScreen::enter(WebBrowser *view)
{
    if (active()) {
        m_view = view;
        emit changed(true);
        return;
    }
    m_state = m_window->windowState();
    m_normalGeometry = m_window->normalGeometry();
    m_menuShown = !m_window->menuBar()->isHidden();
    m_view = view;
    qApp->installEventFilter(this);
    m_window->menuBar()->hide();
    m_window->setWindowState((m_state & ~Qt::WindowMinimized) | Qt::WindowFullScreen);
    m_window->show();
    view->setFocus(Qt::OtherFocusReason);
    emit changed(true);
}

void FullScreen::leave()
{
    if (!active())
        return;
    QPointer<QWebEnginePage> page = m_page;
    restore();
    // The page leaves its full-screen element; its answer finds us back already.
    if (page)
        page->triggerAction(QWebEnginePage::ExitFullScreen);
}

void FullScreen::restore()
{
    if (!active())
        return;
    qApp->removeEventFilter(this);
    WebBrowser *view = m_view;
    m_view = nullptr;
    m_page = nullptr;
    m_window->setWindowState(m_state);
    if (!(m_state & (Qt::WindowMaximized | Qt::WindowFullScreen)) && m_normalGeometry.isValid())
        m_window->setGeometry(m_normalGeometry);
    m_window->menuBar()->setVisible(m_menuShown);
    m_window->show();
    emit changed(false);
    if (view && view->isVisible())
        view->setFocus(Qt::OtherFocusReason);
}

bool FullScreen::eventFilter(QObject *watched, QEvent *event)
{
    // Esc leaves full screen, wherever in the window the keys are; it does
    // nothing else then (neither Stop, nor the page's own handling).
    if ((event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape && watched->isWidgetType() &&
        static_cast<QWidget *>(watched)->window() == m_window) {
        event->accept();
        if (event->type() == QEvent::KeyPress)
            leave();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
