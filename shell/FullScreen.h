#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QWebEngineFullScreenRequest>

class QMainWindow;
class QWebEnginePage;
class ViewSwitcher;
class WebBrowser;

// Full screen for the page that shows (a video's full-screen button,
// element.requestFullscreen()): the window goes full screen and shows the
// view alone. Esc leaves, and the page is told; so do another view being
// shown and the page going elsewhere or away. Leaving gives the window back
// as it was: its menus, bars and tabs, and its earlier state (normal with its
// size and place, or maximised).
class FullScreen : public QObject {
    Q_OBJECT
public:
    FullScreen(QMainWindow *window, ViewSwitcher *switcher);
    ~FullScreen() override;

    // The view that fills the screen, or null.
    WebBrowser *view() const { return m_view; }
    bool active() const { return !m_view.isNull(); }
    // Leaves full screen at once and tells the page.
    void leave();

signals:
    // The window went full screen (true) or came back (false).
    void changed(bool fullScreen);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void watch(WebBrowser *view, QWebEnginePage *page);
    void requested(WebBrowser *view, QWebEnginePage *page, QWebEngineFullScreenRequest request);
    void enter(WebBrowser *view);
    // Gives the window back as it was before full screen.
    void restore();

    QMainWindow *m_window;
    ViewSwitcher *m_switcher;
    QPointer<WebBrowser> m_view;
    QPointer<QWebEnginePage> m_page;
    // The window before full screen.
    Qt::WindowStates m_state;
    QRect m_normalGeometry;
    bool m_menuShown = true;
};
